#pragma once

#include <QProxyStyle>

// The style the desktop gives the program, with its standard pictures (title-bar
// buttons, the items of a child window's system menu, the arrows of a menu bar or
// toolbar too narrow for its items) looked up when they are first drawn. Building a
// child window or a menu bar asks for several at once, and the first one loads the
// image readers: before the main window first shows, that is time the window waits
// for pictures most of which are never drawn.
class DeferredIconStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Over the style Qt would choose itself, with the user's overrides.
    DeferredIconStyle() = default;
    // Over `base`, which the style takes over.
    explicit DeferredIconStyle(QStyle* base) : QProxyStyle(base) {}

    // The picture of the style below, looked up on first use; at once when an option
    // is given, since the option lives only for this call.
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
