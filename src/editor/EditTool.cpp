#include "editor/EditTool.h"

#include <QHash>

namespace {

struct ToolNames {
    EditTool tool;
    const char16_t *rawValue;
    const char16_t *title;
    const char16_t *symbol;
};

// In picker order.
constexpr ToolNames toolNames[] = {
    {EditTool::select, u"select", u"Select", u"pointer.arrow"},
    {EditTool::point, u"point", u"Point", u"smallcircle.filled.circle"},
    {EditTool::region, u"region", u"Region", u"pentagon"},
};

const ToolNames &namesOf(EditTool tool)
{
    return toolNames[int(tool)];
}

} // namespace

QList<EditTool> allEditTools()
{
    QList<EditTool> tools;
    for (const ToolNames &names : toolNames)
        tools.append(names.tool);
    return tools;
}

QString rawValue(EditTool tool)
{
    return QString::fromUtf16(namesOf(tool).rawValue);
}

std::optional<EditTool> editToolFromRawValue(const QString &text)
{
    for (const ToolNames &names : toolNames) {
        if (text == QStringView(names.rawValue))
            return names.tool;
    }
    return std::nullopt;
}

QString editToolTitle(EditTool tool)
{
    return QString::fromUtf16(namesOf(tool).title);
}

QString editToolSymbol(EditTool tool)
{
    return QString::fromUtf16(namesOf(tool).symbol);
}

size_t qHash(EditTool tool, size_t seed) noexcept
{
    return qHash(rawValue(tool), seed);
}
