#pragma once

#include <QObject>

class ModelContext;

// While a change holds the library (ModelContext::beginHeldChange: an
// archive merged in slices), the application's windows keep painting but
// take no input: presses, keys, shortcuts, the wheel, touches and drops are
// dropped, under the busy cursor, so that no command changes the library
// in the middle. Main thread; lives no longer than the context.
class HeldLibraryInput : public QObject {
    Q_OBJECT
public:
    explicit HeldLibraryInput(ModelContext &context, QObject *parent = nullptr);
    ~HeldLibraryInput() override;

    // Whether `event`'s type is one that is dropped while the library is
    // held.
    static bool isInput(const QEvent &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setHeld(bool held);

    bool m_held = false;
};
