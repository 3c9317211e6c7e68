#pragma once

#include <QList>
#include <QString>

#include <optional>

// What a click or drag on the editing canvas's empty space does: select
// clears the selection, point adds a point, region adds a corner to the
// region being drawn. A tool is identified by its raw value.
enum class EditTool { select, point, region };

// Every tool in picker order; the tool at position n answers Ctrl together
// with the digit n + 1.
QList<EditTool> allEditTools();

// "select", "point" or "region".
QString rawValue(EditTool tool);
// The tool with exactly that raw value (case matters); none for any other
// text.
std::optional<EditTool> editToolFromRawValue(const QString &rawValue);

// The title ("Select", "Point", "Region") and the symbol of the tool.
QString editToolTitle(EditTool tool);
QString editToolSymbol(EditTool tool);

// A tool hashes as its raw value does.
size_t qHash(EditTool tool, size_t seed = 0) noexcept;
