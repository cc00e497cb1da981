#pragma once

#include "desktop/Desktop.h"

#include <QStringList>
#include <deque>
#include <functional>

// The desktop for tests: file dialogs answer from a queue (an empty path, or an empty
// queue, cancels),
// messages, beeps, pointer changes and pauses are recorded, and nothing blocks.
class FakeDesktop : public Desktop {
public:
    std::deque<FileChoice> OpenAnswers;
    std::deque<FileChoice> SaveAnswers;
    QList<FileDialogSetup> OpenSetups;
    QList<FileDialogSetup> SaveSetups;
    // Answers for the folder dialog, the text prompt and the list choice, in turn; an
    // empty queue cancels.
    std::deque<std::optional<QString>> FolderAnswers;
    std::deque<std::optional<QString>> TextAnswers;
    std::deque<std::optional<int>> ItemAnswers;
    QStringList Messages;
    int Beeps = 0;
    // The box each beep named as refusing; null where it named none.
    QList<const QWidget*> BeepedAt;
    int BusyPointers = 0;
    int NormalPointers = 0;
    bool Busy = false;
    QList<int> Pauses;
    // Runs inside a pause, to look at the windows while the program waits.
    std::function<void()> DuringPause;

    // Queues an answer for the next open / save dialog, as a path in a real folder.
    void answerOpen(const QString& path);
    void answerSave(const QString& path);
    void cancelOpen() { OpenAnswers.push_back({}); }
    void cancelSave() { SaveAnswers.push_back({}); }

    std::optional<FileChoice> showOpen(const FileDialogSetup& setup) override;
    std::optional<FileChoice> showSave(const FileDialogSetup& setup) override;
    std::optional<QString> chooseFolder(const QString&) override { return take(FolderAnswers); }
    std::optional<QString> askText(const QString&, const QString&, const QString&) override {
        return take(TextAnswers);
    }
    std::optional<int> chooseItem(const QString&, const QString&, const QStringList&) override {
        return take(ItemAnswers);
    }
    void showMessage(const QString& text) override { Messages << text; }
    void beep(QWidget* refusing = nullptr) override {
        ++Beeps;
        BeepedAt << refusing;
    }
    void ShowBusyPointer() override {
        ++BusyPointers;
        Busy = true;
    }
    void ShowNormalPointer() override {
        ++NormalPointers;
        Busy = false;
    }
    void pause(int milliseconds) override {
        Pauses << milliseconds;
        if (DuringPause)
            DuringPause();
    }

private:
    template <typename T>
    static std::optional<T> take(std::deque<std::optional<T>>& answers) {
        if (answers.empty()) return std::nullopt;
        std::optional<T> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
