#pragma once

#include <QSize>
#include <QUuid>

#include <optional>

class AtlasImage;
class PictureSource;
class QWidget;

// What the image screen hands the annotation editor each time edit mode
// opens: the image, its decoded picture (shared with the viewer) and the
// annotation to select first.
struct ImageEditorRequest {
    AtlasImage *image = nullptr;
    PictureSource *picture = nullptr;
    QSize pictureSize;
    // The screen's highlighted annotation; it starts selected when it names
    // one of the image's points or regions.
    std::optional<QUuid> highlightedID;
};

// Makes the editing canvas that takes the viewer's place in edit mode. The
// editor lives in a library above the viewer, so the window that owns the
// screen gives it a factory. The screen owns what it makes and drops it
// when edit mode ends or another image opens.
class ImageEditorFactory {
public:
    virtual ~ImageEditorFactory() = default;
    virtual QWidget *createEditor(const ImageEditorRequest &request, QWidget *parent) = 0;
};
