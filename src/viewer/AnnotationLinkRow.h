#pragma once

#include "model/AnnotationLink.h"

#include <QAbstractButton>
#include <QUrl>

// One web link in the links panel: an arrow-out-of-a-square symbol, the
// link's title and, below it, the host of its address. A click on it, or
// Space or Return while it has the focus (clicked), is the panel's to open
// the address in the desktop's browser or mail program; the panel stays
// open. The pointer shows the pointing hand over it. Only links with an
// address that opens something get a row.
class AnnotationLinkRow : public QAbstractButton {
    Q_OBJECT
public:
    // `link` must have a usable address (hasRow).
    explicit AnnotationLinkRow(const AnnotationLink &link, QWidget *parent = nullptr);

    static bool hasRow(const AnnotationLink &link) { return link.url().has_value(); }

    const AnnotationLink &link() const { return m_link; }
    QUrl url() const { return m_url; }
    QString title() const { return m_link.displayTitle(); }
    // The address's host as it is sent (percent-encoded, international
    // names in their ASCII form); empty for addresses without one.
    QString host() const { return m_url.host(QUrl::FullyEncoded); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private:
    AnnotationLink m_link;
    QUrl m_url;
};
