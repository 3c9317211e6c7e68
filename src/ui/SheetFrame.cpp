#include "ui/SheetFrame.h"

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QWindow>
#include <QWidget>

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The fields and bits of the Motif hints this frame uses.
enum : std::uint32_t {
    functionsField = 1u << 0,
    decorationsField = 1u << 1,
    resizeFunction = 1u << 1,
    moveFunction = 1u << 2,
    borderDecoration = 1u << 1,
    resizeHandlesDecoration = 1u << 2,
    titleDecoration = 1u << 3,
};

xcb_atom_t motifHintsAtom(xcb_connection_t *connection)
{
    static const char name[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Writes the hints of a title bar alone over those Qt wrote when it made
// the sheet's window: Qt writes them again whenever the window is made or
// its flags change, and each of these ends in the window being shown again.
void writeMotifHints(const QWidget &sheet)
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || !sheet.internalWinId())
        return;
    const xcb_atom_t atom = motifHintsAtom(connection);
    if (atom == XCB_ATOM_NONE)
        return;
    const bool resizable = sheet.minimumSize() != sheet.maximumSize();
    // flags, functions, decorations, input mode, status
    const std::array<std::uint32_t, 5> hints{
        functionsField | decorationsField,
        moveFunction | (resizable ? resizeFunction : 0u),
        titleDecoration | borderDecoration | (resizable ? resizeHandlesDecoration : 0u),
        0,
        0,
    };
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(sheet.internalWinId()), atom, atom, 32,
                        std::uint32_t(hints.size()), hints.data());
    xcb_flush(connection);
}

// Writes the hints as the sheet's window is shown: after the sheet's own
// show event, which may still fix its size, and before the window is
// mapped.
class MotifHintsWriter : public QObject {
public:
    explicit MotifHintsWriter(QWidget &sheet) : QObject(&sheet), m_sheet(sheet) { sheet.installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            // The sheet's window is made by now; it may be made anew later.
            if (watched == &m_sheet && m_sheet.windowHandle())
                m_sheet.windowHandle()->installEventFilter(this);
            else if (watched == m_sheet.windowHandle())
                writeMotifHints(m_sheet);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget &m_sheet;
};

} // namespace

void SheetFrame::install(QWidget &sheet)
{
    sheet.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    new MotifHintsWriter(sheet);
}
