#pragma once

#include "viewer/ImageEditorFactory.h"

// Makes the annotation editor that takes the image screen's viewer place in
// edit mode: a fresh editor each time edit mode opens, on the picture the
// viewer already decoded.
class AnnotationEditorFactory final : public ImageEditorFactory {
public:
    static AnnotationEditorFactory &shared();

    QWidget *createEditor(const ImageEditorRequest &request, QWidget *parent) override;
};
