#include "HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const char* const kWindowTitle = "Quenlor Help";
const char* const kInstalledManual = "quenlor/manual/index.html";
const char* const kDocumentationManual = "doc/quenlor/manual/index.html";
constexpr int kInitialWidth = 760;
constexpr int kInitialHeight = 640;
} // namespace

HelpViewer::HelpViewer(QWidget* parent)
    : HelpViewer(manualSearchList(QCoreApplication::applicationDirPath()), parent) {}

HelpViewer::HelpViewer(const QStringList& searchList, QWidget* parent)
    : QWidget(parent, Qt::Window), m_searchList(searchList) {
    setObjectName("HelpViewer");
    setWindowTitle(kWindowTitle);

    m_backButton = new QToolButton(this);
    m_backButton->setObjectName("BackButton");
    m_backButton->setText(tr("&Back"));
    m_backButton->setToolTip(tr("Back"));
    m_backButton->setEnabled(false);

    m_forwardButton = new QToolButton(this);
    m_forwardButton->setObjectName("ForwardButton");
    m_forwardButton->setText(tr("&Forward"));
    m_forwardButton->setToolTip(tr("Forward"));
    m_forwardButton->setEnabled(false);

    m_contentsButton = new QToolButton(this);
    m_contentsButton->setObjectName("ContentsButton");
    m_contentsButton->setText(tr("&Contents"));
    m_contentsButton->setToolTip(tr("Contents"));

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName("HelpBrowser");
    // Every page of the manual is a local file; nothing leaves the program.
    m_browser->setOpenExternalLinks(false);
    m_browser->setOpenLinks(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_forwardButton);
    buttons->addWidget(m_contentsButton);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);

    connect(m_backButton, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forwardButton, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_contentsButton, &QToolButton::clicked, this, &HelpViewer::showContents);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_backButton, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forwardButton, &QToolButton::setEnabled);

    resize(kInitialWidth, kInitialHeight);
}

QStringList HelpViewer::manualSearchList(const QString& executableDir) {
    QStringList places;
    places << QDir::cleanPath(executableDir + "/../share/quenlor/manual/index.html");
    const QStringList dataDirs =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& dir : dataDirs) {
        for (const char* relative : {kInstalledManual, kDocumentationManual}) {
            const QString candidate = QDir::cleanPath(dir + '/' + relative);
            if (!places.contains(candidate)) places << candidate;
        }
    }
    return places;
}

QString HelpViewer::findManual(const QStringList& searchList) {
    for (const QString& candidate : searchList) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable()) return info.absoluteFilePath();
    }
    return QString();
}

QString HelpViewer::manualPath() {
    return findManual(manualSearchList(QCoreApplication::applicationDirPath()));
}

void HelpViewer::showContents() {
    // Looked up on every call: the manual may have been installed or removed meanwhile.
    m_contentsPath = findManual(m_searchList);
    if (m_contentsPath.isEmpty()) {
        showMissingManual();
    } else {
        const QUrl contents = QUrl::fromLocalFile(m_contentsPath);
        // Reloaded when already there, so that the contents page shows afresh and at its
        // top even after the message about a missing manual.
        if (m_browser->source() == contents)
            m_browser->reload();
        else
            m_browser->setSource(contents);
        m_browser->verticalScrollBar()->setValue(0);
    }
    show();
    raise();
    activateWindow();
}

void HelpViewer::showMissingManual() {
    QString places;
    for (const QString& place : m_searchList)
        places += "<li>" + QFileInfo(place).absolutePath().toHtmlEscaped() + "</li>";
    m_browser->clearHistory();
    m_browser->setHtml(
        "<h1>" + QString(kWindowTitle).toHtmlEscaped() + "</h1>" +
        tr("<p>The Quenlor manual could not be found. It is looked for in:</p>") + "<ul>" + places +
        "</ul>" +
        tr("<p>Each of these folders would hold the manual's contents page, index.html. "
           "Installing the program again puts the manual back in its place.</p>"));
}
