#include "FakeDesktop.h"

#include <QFileInfo>

namespace {
std::optional<FileChoice> next(std::deque<FileChoice>& answers) {
    if (answers.empty())
        return std::nullopt;
    const FileChoice answer = answers.front();
    answers.pop_front();
    if (answer.Path.isEmpty())
        return std::nullopt;
    return answer;
}
} // namespace

void FakeDesktop::AnswerOpen(const QString& path) {
    OpenAnswers.push_back(FileChoice{path, QFileInfo(path).fileName()});
}

void FakeDesktop::AnswerSave(const QString& path) {
    SaveAnswers.push_back(FileChoice{path, QFileInfo(path).fileName()});
}

std::optional<FileChoice> FakeDesktop::ShowOpen(const FileDialogSetup& setup) {
    OpenSetups << setup;
    return next(OpenAnswers);
}

std::optional<FileChoice> FakeDesktop::ShowSave(const FileDialogSetup& setup) {
    SaveSetups << setup;
    return next(SaveAnswers);
}
