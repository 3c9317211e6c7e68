#include "editor/AnnotationLinksEditor.h"

#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/FormSection.h"
#include "ui/SystemSymbol.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

AnnotationLinksEditor::AnnotationLinksEditor(const QList<AnnotationLink> &links, QWidget *parent)
    : QDialog(parent)
    , m_links(links)
{
    setWindowTitle(tr("Links"));
    setWindowModality(Qt::WindowModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(sheetWidth, sheetHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *form = new QWidget(scroll);
    m_sectionLayout = new QVBoxLayout(form);
    m_sectionLayout->setContentsMargins(20, 16, 20, 16);
    m_sectionLayout->setSpacing(16);
    m_empty = new ContentUnavailableView(form);
    m_empty->setContent({tr("No Links"), QStringLiteral("link"), QString(), std::nullopt});
    m_sectionLayout->addWidget(m_empty);
    m_sectionLayout->addStretch(1);
    scroll->setWidget(form);
    column->addWidget(scroll, 1);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(16, 12, 16, 12);
    m_add = new QPushButton(SystemSymbol::icon(QStringLiteral("plus")), tr("Add Link"), this);
    m_add->setAutoDefault(false);
    connect(m_add, &QPushButton::clicked, this, &AnnotationLinksEditor::addLink);
    bar->addWidget(m_add);
    bar->addStretch(1);
    m_done = new QPushButton(tr("Done"), this);
    m_done->setDefault(true);
    connect(m_done, &QPushButton::clicked, this, &QDialog::accept);
    bar->addWidget(m_done);
    column->addLayout(bar);

    rebuild();
}

void AnnotationLinksEditor::keyPressEvent(QKeyEvent *event)
{
    // Escape is no way out of the sheet.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AnnotationLinksEditor::closeEvent(QCloseEvent *event)
{
    // Nor is the window manager's close; dismissing the sheet closes it.
    if (event->spontaneous() && isVisible()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void AnnotationLinksEditor::setLinks(const QList<AnnotationLink> &links)
{
    if (links == m_links)
        return;
    QList<QUuid> shown, given;
    for (const Section &s : std::as_const(m_sections))
        shown.append(s.id);
    for (const AnnotationLink &link : links)
        given.append(link.id);
    m_links = links;
    if (shown != given) {
        rebuild();
        return;
    }
    // The same links: only texts changed; fields keep their cursor.
    for (qsizetype i = 0; i < links.size(); ++i) {
        const Section &s = m_sections[i];
        if (s.url->text() != links[i].urlString)
            s.url->setText(links[i].urlString);
        if (s.label->text() != links[i].label)
            s.label->setText(links[i].label);
        s.header->setText(headerText(links[i]));
    }
}

void AnnotationLinksEditor::addLink()
{
    const AnnotationLink link{QUuid::createUuid(), QString(), QString()};
    m_links.append(link);
    rebuild();
    emit linksEdited(m_links);
    if (const Section *added = section(link.id))
        added->url->setFocus(Qt::OtherFocusReason);
}

void AnnotationLinksEditor::removeLink(const QUuid &id)
{
    m_links.removeIf([&](const AnnotationLink &link) { return link.id == id; });
    rebuild();
    emit linksEdited(m_links);
}

void AnnotationLinksEditor::edit(const QUuid &id, const QString &urlString, const QString &label)
{
    for (qsizetype i = 0; i < m_links.size(); ++i) {
        if (m_links[i].id != id)
            continue;
        m_links[i].urlString = urlString;
        m_links[i].label = label;
        m_sections[i].header->setText(headerText(m_links[i]));
        emit linksEdited(m_links);
        return;
    }
}

void AnnotationLinksEditor::rebuild()
{
    // Later: the remove button of a section may be what called this.
    for (const Section &old : std::as_const(m_sections)) {
        old.widget->hide();
        old.widget->deleteLater();
    }
    m_sections.clear();
    for (const AnnotationLink &link : std::as_const(m_links)) {
        m_sections.append(makeSection(link));
        m_sectionLayout->insertWidget(m_sectionLayout->count() - 1, m_sections.last().widget);
        // At once, so that its field can take the focus.
        m_sections.last().widget->show();
    }
    m_empty->setVisible(m_links.isEmpty());
}

AnnotationLinksEditor::Section AnnotationLinksEditor::makeSection(const AnnotationLink &link)
{
    Section made;
    made.id = link.id;
    made.widget = new QWidget;
    auto *column = new QVBoxLayout(made.widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto *heading = new QHBoxLayout;
    heading->setContentsMargins(12, 0, 4, 0);
    auto *symbol = new QLabel(made.widget);
    symbol->setPixmap(SystemSymbol::icon(QStringLiteral("link")).pixmap(14, 14));
    heading->addWidget(symbol);
    made.header = new QLabel(headerText(link), made.widget);
    made.header->setTextFormat(Qt::PlainText);
    made.header->setFont(AppStyle::withWeight(AppStyle::footnote(), QFont::DemiBold));
    AppStyle::makeSecondary(*made.header);
    heading->addWidget(made.header, 1);
    made.remove = new QToolButton(made.widget);
    made.remove->setIcon(SystemSymbol::icon(QStringLiteral("trash"), QColor(215, 45, 40)));
    made.remove->setToolTip(tr("Remove Link"));
    made.remove->setAccessibleName(tr("Remove Link"));
    made.remove->setAutoRaise(true);
    const QUuid id = link.id;
    connect(made.remove, &QToolButton::clicked, this, [this, id] { removeLink(id); });
    heading->addWidget(made.remove);
    column->addLayout(heading);

    auto *box = new FormSection(made.widget);
    const auto row = [&](const QString &title, QLineEdit *field) {
        auto *line = new QHBoxLayout;
        auto *caption = new QLabel(title, box);
        caption->setMinimumWidth(44);
        line->addWidget(caption);
        field->setAccessibleName(title);
        line->addWidget(field, 1);
        box->addRow(line);
    };
    made.url = new QLineEdit(link.urlString, box);
    row(tr("URL"), made.url);
    made.label = new QLineEdit(link.label, box);
    made.label->setPlaceholderText(tr("Optional"));
    row(tr("Label"), made.label);
    column->addWidget(box);

    QLineEdit *url = made.url;
    QLineEdit *label = made.label;
    connect(url, &QLineEdit::textEdited, this, [this, id, url, label] { edit(id, url->text(), label->text()); });
    connect(label, &QLineEdit::textEdited, this, [this, id, url, label] { edit(id, url->text(), label->text()); });
    return made;
}

const AnnotationLinksEditor::Section *AnnotationLinksEditor::section(const QUuid &id) const
{
    for (const Section &s : m_sections) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

QLineEdit *AnnotationLinksEditor::urlField(const QUuid &id) const
{
    const Section *s = section(id);
    return s ? s->url : nullptr;
}

QLineEdit *AnnotationLinksEditor::labelField(const QUuid &id) const
{
    const Section *s = section(id);
    return s ? s->label : nullptr;
}

QLabel *AnnotationLinksEditor::header(const QUuid &id) const
{
    const Section *s = section(id);
    return s ? s->header : nullptr;
}

QToolButton *AnnotationLinksEditor::removeButton(const QUuid &id) const
{
    const Section *s = section(id);
    return s ? s->remove : nullptr;
}

QString AnnotationLinksEditor::headerText(const AnnotationLink &link)
{
    return link.label.isEmpty() ? tr("Link") : link.label;
}
