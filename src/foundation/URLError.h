#pragma once

#include <QString>

// A failed transfer to or from a URL: a text that is not a URL, no answer
// in time, a transport failure, or an HTTP status outside 2xx (which
// carries the status).
struct URLError {
    enum class Code { BadURL, TimedOut, CannotLoad, BadServerResponse };

    Code code = Code::CannotLoad;
    int statusCode = 0; // the HTTP status of a BadServerResponse
    QString description;

    static URLError badServerResponse(int statusCode);
};
