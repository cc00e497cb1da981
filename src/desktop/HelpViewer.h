#pragma once

#include <QStringList>
#include <QWidget>

class QTextBrowser;
class QToolButton;

// The program's own help window: shows the manual that is installed with the program,
// starting at its contents page. It is an ordinary top-level window, never modal, so
// the program goes on working while it is open.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // Looks for the manual in the places that manualSearchList gives for the folder of
    // the running program.
    explicit HelpViewer(QWidget* parent = nullptr);
    // Looks for the manual in the given places (full paths of index.html, in order).
    explicit HelpViewer(const QStringList& searchList, QWidget* parent = nullptr);

    // The places where the contents page may be, in the order they are tried: next to
    // the program (<folder of the program>/../share/quenlor/manual/index.html, which
    // covers both the build tree and an installed program), then the data folders of
    // the desktop (.../share/quenlor/manual and .../share/doc/quenlor/manual).
    static QStringList manualSearchList(const QString& executableDir);
    // The first existing file of the list, or an empty text when there is none.
    static QString findManual(const QStringList& searchList);
    // The contents page of the manual of the running program, or an empty text.
    static QString manualPath();

    // Shows the window at the manual's contents page and returns at once. When the
    // manual cannot be found, the window says so and names the places it looked in.
    void showContents();

    // The contents page in use, empty when the manual was not found.
    QString contentsPath() const { return m_contentsPath; }
    QTextBrowser* browser() const { return m_browser; }

private:
    void showMissingManual();

    QStringList m_searchList;
    QString m_contentsPath;
    QTextBrowser* m_browser = nullptr;
    QToolButton* m_backButton = nullptr;
    QToolButton* m_forwardButton = nullptr;
    QToolButton* m_contentsButton = nullptr;
};
