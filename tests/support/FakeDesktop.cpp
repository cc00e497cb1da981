#include "FakeDesktop.h"

#include <QFile>
#include <QFileInfo>

namespace {
FileChoice choiceOf(const QString& path) {
    return FileChoice{QFile::encodeName(path).toStdString(),
                      QFile::encodeName(QFileInfo(path).fileName()).toStdString()};
}

std::optional<FileChoice> next(std::deque<FileChoice>& answers) {
    if (answers.empty())
        return std::nullopt;
    const FileChoice answer = answers.front();
    answers.pop_front();
    if (answer.Path.empty())
        return std::nullopt;
    return answer;
}
} // namespace

void FakeDesktop::answerOpen(const QString& path) {
    OpenAnswers.push_back(choiceOf(path));
}

void FakeDesktop::answerSave(const QString& path) {
    SaveAnswers.push_back(choiceOf(path));
}

std::optional<FileChoice> FakeDesktop::showOpen(const FileDialogSetup& setup) {
    OpenSetups << setup;
    return next(OpenAnswers);
}

std::optional<FileChoice> FakeDesktop::showSave(const FileDialogSetup& setup) {
    SaveSetups << setup;
    return next(SaveAnswers);
}
