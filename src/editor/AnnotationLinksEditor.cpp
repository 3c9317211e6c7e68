#include "editor/AnnotationLinksEditor.h"

#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/FormSection.h"
#include "ui/SheetFrame.h"
#include "ui/SystemSymbol.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

AnnotationLinksEditor::AnnotationLinksEditor(const QList<AnnotationLink> &links, QWidget *parent)
    : QDialog(parent)
    , m_links(links)
{
    setWindowTitle(tr("Links"));
    setWindowModality(Qt::WindowModal);
    // A title bar and nothing more: no button or menu to close, minimise
    // or maximise it.
    SheetFrame::install(*this);
    setFixedSize(sheetWidth, sheetHeight);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // The sections' controls are the Tab stops; the area scrolls to the one
    // with the focus.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *form = new QWidget(m_scroll);
    m_sectionLayout = new QVBoxLayout(form);
    m_sectionLayout->setContentsMargins(20, 16, 20, 16);
    m_sectionLayout->setSpacing(16);
    m_empty = new ContentUnavailableView(form);
    m_empty->setContent({tr("No Links"), QStringLiteral("link"), QString(), std::nullopt});
    m_sectionLayout->addWidget(m_empty);
    m_sectionLayout->addStretch(1);
    m_scroll->setWidget(form);
    column->addWidget(m_scroll, 1);

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

    showLinks();
    // No link's field has the focus to begin with: "Done" has it, and Tab
    // goes on from there to the top.
    m_done->setFocus(Qt::OtherFocusReason);
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
    m_links = links;
    showLinks();
}

void AnnotationLinksEditor::addLink()
{
    const AnnotationLink link{QUuid::createUuid(), QString(), QString()};
    m_links.append(link);
    showLinks();
    emit linksEdited(m_links);
    if (const Section *added = section(link.id))
        added->url->setFocus(Qt::OtherFocusReason);
}

void AnnotationLinksEditor::removeLink(const QUuid &id)
{
    m_links.removeIf([&](const AnnotationLink &link) { return link.id == id; });
    showLinks();
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

void AnnotationLinksEditor::showLinks()
{
    // A link keeps its section, so that the field being typed in keeps the
    // focus, its cursor and its selection while others come and go.
    QList<Section> gone = m_sections;
    m_sections.clear();
    for (const AnnotationLink &link : std::as_const(m_links)) {
        const auto kept = std::find_if(gone.begin(), gone.end(), [&](const Section &s) { return s.id == link.id; });
        if (kept == gone.end()) {
            m_sections.append(makeSection(link));
            continue;
        }
        m_sections.append(*kept);
        gone.erase(kept);
    }
    for (const Section &old : std::as_const(gone)) {
        // The focus was in it: "Add Link" takes it, so that it stays in the
        // sheet rather than falling to whatever follows.
        if (old.widget->isAncestorOf(focusWidget()))
            m_add->setFocus(Qt::OtherFocusReason);
        // Later: the remove button of a section may be what called this.
        old.widget->hide();
        old.widget->deleteLater();
    }

    // In the order of the links, between the empty state and the stretch,
    // and Tab going through them as they read, top to bottom.
    QWidget *previous = nullptr;
    const auto tabTo = [&](QWidget *next) {
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    };
    for (qsizetype i = 0; i < m_sections.size(); ++i) {
        const Section &s = m_sections.at(i);
        m_sectionLayout->removeWidget(s.widget);
        m_sectionLayout->insertWidget(int(i) + 1, s.widget);
        // At once, so that its field can take the focus.
        s.widget->show();
        const AnnotationLink &link = m_links.at(i);
        if (s.url->text() != link.urlString)
            s.url->setText(link.urlString);
        if (s.label->text() != link.label)
            s.label->setText(link.label);
        s.header->setText(headerText(link));
        tabTo(s.remove);
        tabTo(s.url);
        tabTo(s.label);
    }
    tabTo(m_add);
    tabTo(m_done);
    m_empty->setVisible(m_links.isEmpty());
}

bool AnnotationLinksEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        // A section just added is laid out first, so that its place is known.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        m_scroll->ensureWidgetVisible(static_cast<QWidget *>(watched));
    }
    return QDialog::eventFilter(watched, event);
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
    made.remove->installEventFilter(this);

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
    url->installEventFilter(this);
    label->installEventFilter(this);
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
