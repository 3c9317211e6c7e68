#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

// The placeholder shown where a list or grid has nothing to show: a large
// symbol, a title, a description and at most one action button, centred.
// The button reports its press as actionTriggered().
class ContentUnavailableView : public QWidget {
    Q_OBJECT
public:
    struct Action {
        QString title;
        QString symbol;
    };

    struct Content {
        QString title;
        QString symbol;
        QString description;
        std::optional<Action> action;
    };

    explicit ContentUnavailableView(QWidget *parent = nullptr);

    void setContent(const Content &content);
    QString title() const;
    QString description() const;
    // The action's button; null while there is no action.
    QPushButton *actionButton() const;

signals:
    // The action's button was pressed.
    void actionTriggered();

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
