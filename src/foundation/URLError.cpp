#include "foundation/URLError.h"

URLError URLError::badServerResponse(int statusCode)
{
    return {Code::BadServerResponse, statusCode,
            QStringLiteral("The server answered with HTTP status %1.").arg(statusCode)};
}
