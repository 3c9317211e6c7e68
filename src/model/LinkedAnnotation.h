#pragma once

#include "model/AnnotationLink.h"

#include <QList>

#include <optional>

// What points and regions share about links: an optional list of links.
class LinkedAnnotation {
public:
    virtual ~LinkedAnnotation() = default;

    virtual std::optional<QList<AnnotationLink>> links() const = 0;
    virtual void setLinks(const std::optional<QList<AnnotationLink>> &links) = 0;
};
