#include "ReachingDisplay.h"

#include "ProgramArguments.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {
struct HeldMessage {
    QtMsgType Type;
    std::string Category;
    QString Text;
};

// A message handler is a plain function: what it needs lives here, for the moment
// between the constructor and reached() alone.
struct Watch {
    bool Active = false;
    std::string Display;
    QtMessageHandler Before = nullptr;
    std::vector<HeldMessage> Held;
};
Watch& watch() {
    static Watch one;
    return one;
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    Watch& w = watch();
    if (type != QtFatalMsg) {
        w.Held.push_back({type, context.category ? context.category : "", text});
        return;
    }
    // The toolkit gives up on the window system: nothing has been shown, and nothing is
    // held that ending here would lose.
    const std::string reason = w.Display.empty()
                                   ? std::string("the window system cannot be reached")
                                   : "'" + w.Display + "' cannot be reached";
    std::fprintf(stderr, "%s\n", noDisplayLine(reason).c_str());
    std::fflush(stderr);
    std::_Exit(kNoDisplayStatus);
}
} // namespace

ReachingDisplay::ReachingDisplay(std::string display) {
    Watch& w = watch();
    w.Active = true;
    w.Display = std::move(display);
    w.Before = qInstallMessageHandler(handle);
}

ReachingDisplay::~ReachingDisplay() {
    reached();
}

void ReachingDisplay::reached() {
    Watch& w = watch();
    if (!w.Active) return;
    w.Active = false;
    qInstallMessageHandler(w.Before);
    for (const HeldMessage& message : std::exchange(w.Held, {})) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.Category.c_str());
        qt_message_output(message.Type, context, message.Text);
    }
}
