#include "shell/AnnotationEditorFactory.h"

#include "editor/AnnotationEditor.h"

AnnotationEditorFactory &AnnotationEditorFactory::shared()
{
    static AnnotationEditorFactory factory;
    return factory;
}

QWidget *AnnotationEditorFactory::createEditor(const ImageEditorRequest &request, QWidget *parent)
{
    return new AnnotationEditor(request.image, request.picture, request.highlightedID, parent);
}
