#include "editor/EditTool.h"

#include <QHash>

QList<EditTool> allEditTools()
{
    return {EditTool::select, EditTool::point, EditTool::region};
}

QString rawValue(EditTool tool)
{
    switch (tool) {
    case EditTool::select:
        return QStringLiteral("select");
    case EditTool::point:
        return QStringLiteral("point");
    case EditTool::region:
        return QStringLiteral("region");
    }
    return {};
}

std::optional<EditTool> editToolFromRawValue(const QString &text)
{
    for (EditTool tool : allEditTools()) {
        if (rawValue(tool) == text)
            return tool;
    }
    return std::nullopt;
}

QString editToolTitle(EditTool tool)
{
    switch (tool) {
    case EditTool::select:
        return QStringLiteral("Select");
    case EditTool::point:
        return QStringLiteral("Point");
    case EditTool::region:
        return QStringLiteral("Region");
    }
    return {};
}

QString editToolSymbol(EditTool tool)
{
    switch (tool) {
    case EditTool::select:
        return QStringLiteral("pointer.arrow");
    case EditTool::point:
        return QStringLiteral("smallcircle.filled.circle");
    case EditTool::region:
        return QStringLiteral("pentagon");
    }
    return {};
}

size_t qHash(EditTool tool, size_t seed) noexcept
{
    return qHash(rawValue(tool), seed);
}
