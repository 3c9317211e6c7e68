#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

// The placeholder shown where a list or grid has nothing to show: a large
// symbol, a title, a description and at most one action button, centred.
class ContentUnavailableView : public QWidget {
    Q_OBJECT
public:
    struct Action {
        QString title;
        QString symbol;
        std::function<void()> handler;
    };

    struct Content {
        QString title;
        QString symbol;
        QString description;
        std::optional<Action> action;
    };

    explicit ContentUnavailableView(QWidget *parent = nullptr);

    // The library's empty states, shared by the list and the grid: "No
    // Images" with "Import Images", and "No Matches" with "Clear Filters"
    // only when filters are active.
    static Content noImages(std::function<void()> onImport);
    static Content noMatches(bool hasActiveFilters, std::function<void()> onClearFilters);

    void setContent(const Content &content);
    QString title() const;
    QString description() const;
    // The action's button; null while there is no action.
    QPushButton *actionButton() const;

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyStyle();

    Content m_content;
    QWidget *m_symbol = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_description = nullptr;
    QPushButton *m_button = nullptr;
};
