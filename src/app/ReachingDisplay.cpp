#include "ReachingDisplay.h"

#include "ProgramArguments.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace {
struct HeldMessage {
    QtMsgType Type;
    std::string Category;
    QString Text;
};

// A message handler is a plain function: what it needs lives here, for the moment
// between the constructor and reached() alone. The fonts are read on a thread of their
// own meanwhile, which may say something too.
struct Watch {
    std::mutex Lock;
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
    std::unique_lock<std::mutex> lock(w.Lock);
    if (!w.Active) { // came on another thread as the display was reached
        lock.unlock();
        qt_message_output(type, context, text);
        return;
    }
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
    std::vector<HeldMessage> held;
    {
        const std::lock_guard<std::mutex> lock(w.Lock);
        if (!w.Active) return;
        w.Active = false;
        qInstallMessageHandler(w.Before);
        held = std::exchange(w.Held, {});
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.Category.c_str());
        qt_message_output(message.Type, context, message.Text);
    }
}
