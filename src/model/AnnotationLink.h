#pragma once

#include <QString>
#include <QUuid>

// A labelled web link of an annotation. The address is kept exactly as
// typed; what it opens is derived when it is read.
struct AnnotationLink {
    QUuid id;
    QString label;
    QString urlString;

    friend bool operator==(const AnnotationLink &, const AnnotationLink &) = default;
};
