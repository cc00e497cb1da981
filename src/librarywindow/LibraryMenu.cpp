#include "LibraryMenu.h"

#include "librarian/Librarian.h"
#include "LibraryHost.h"
#include "LibraryThread.h"
#include "LibraryWindow.h"
#include "core/QuenlorCode.h"
#include "desktop/Desktop.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/Patch.h"
#include "library/LibraryDatabase.h"
#include "library/LibraryEdits.h"
#include "library/LibraryScanner.h"
#include "library/LibraryText.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>

namespace {
// Long enough to hear the patch, short enough to end before the next one is chosen.
constexpr int kAuditionNoteMs = 600;
constexpr int kWindowWidth = 760;
constexpr int kWindowHeight = 560;
} // namespace

LibraryMenu::LibraryMenu(LibraryHost& host)
    : QObject(&host.mainWindow()), m_host(host), m_audition(host.context().Code, kAuditionNoteMs) {
    const auto action = [this](const char* name, const QString& caption, auto handler,
                               QKeySequence shortcut = {}) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(shortcut);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    mnu_ShowLibrary = action("mnu_ShowLibrary", QStringLiteral("&Show Library"),
                             &LibraryMenu::mnu_ShowLibrary_Click, QKeySequence(QStringLiteral("Ctrl+L")));
    mnu_AddFolder =
        action("mnu_AddFolder", QStringLiteral("&Add Folder..."), &LibraryMenu::mnu_AddFolder_Click);
    mnu_RescanFolders = action("mnu_RescanFolders", QStringLiteral("&Rescan Folders"),
                               &LibraryMenu::mnu_RescanFolders_Click);
    mnu_AddCurrentBank = action("mnu_AddCurrentBank", QStringLiteral("Add Current &Bank"),
                                &LibraryMenu::mnu_AddCurrentBank_Click);
    mnu_RemoveFolder = action("mnu_RemoveFolder", QStringLiteral("Remove &Folder..."),
                              &LibraryMenu::mnu_RemoveFolder_Click);
    mnu_Library = new QMenu(QStringLiteral("&Library"), &host.mainWindow());
    mnu_Library->setObjectName(QStringLiteral("mnu_Library"));
    mnu_Library->addActions({mnu_ShowLibrary, mnu_AddFolder, mnu_RescanFolders,
                             mnu_AddCurrentBank, mnu_RemoveFolder});
}

// The thread goes first: it finishes the jobs posted, whose answers then go nowhere.
LibraryMenu::~LibraryMenu() { m_thread.reset(); }

LibraryWindow* LibraryMenu::window() const { return m_libraryWindow.data(); }

void LibraryMenu::showStatus(const QString& text) {
    m_host.tellLibrary(text);
}

void LibraryMenu::ensureOpen() {
    if (m_thread) return;
    m_thread = std::make_unique<LibraryThread>(LibraryDatabase::defaultPath());
    post([this](LibraryDatabase& database) -> Answer {
        const QString notice = database.open();
        const bool rebuilt = database.rebuilt();
        return [this, notice, rebuilt] {
            if (!notice.isEmpty()) showStatus(notice);
            // A new file for a damaged one holds only what was carried over; what the
            // watched folders give is said after the notice, which stays in view, by the
            // scan that reads them: the start-up's own when it is on its way.
            if (!rebuilt) return;
            if (m_scans > 0)
                m_rebuiltNotice = notice + QStringLiteral(": ");
            else
                scan(true, notice + QStringLiteral(": "));
        };
    });
}

void LibraryMenu::post(Job job) {
    ++m_pending;
    m_thread->post([this, job = std::move(job)](LibraryDatabase& database) {
        const Answer answer = job(database);
        QMetaObject::invokeMethod(
            this,
            [this, answer] {
                --m_pending;
                if (answer) answer();
            },
            Qt::QueuedConnection);
    });
}

void LibraryMenu::openInBackground() {
    ensureOpen();
    reload();
    scan(false);
}

void LibraryMenu::reload() {
    ensureOpen();
    if (m_reloadPosted) return;
    m_reloadPosted = true;
    // The jobs reach the thread through this pointer: while the thread ends, m_thread
    // no longer holds it.
    LibraryThread* thread = m_thread.get();
    post([this, thread](LibraryDatabase& database) -> Answer {
        const int writesSeen = m_writesDone;
        if (thread->stopping()) return {};
        QString error;
        std::shared_ptr<LibraryCatalogue> catalogue;
        if (database.mode() != LibraryDatabase::Mode::Closed)
            catalogue = LibraryCatalogue::load(database, error);
        return [this, writesSeen, catalogue, error] {
            m_reloadPosted = false;
            // A change posted after the read began would be undone by this catalogue.
            if (writesSeen != m_writesPosted) return reload();
            if (!catalogue) {
                if (!error.isEmpty()) showStatus(QStringLiteral("The library cannot be read: ") + error);
                return;
            }
            m_catalogue = catalogue;
            emit catalogueChanged();
        };
    });
}

void LibraryMenu::scan(bool report, const QString& lead) {
    ensureOpen();
    ++m_scans;
    showProgress(0, 0);
    LibraryThread* thread = m_thread.get();
    post([this, thread, report, lead](LibraryDatabase& database) -> Answer {
        if (thread->stopping()) return {};
        thread->cancel() = false;
        if (!database.writable()) return [this] {
            --m_scans;
            showProgress(0, -1);
        };
        LibraryScanner scanner(database);
        scanner.setCancel(&thread->cancel());
        scanner.setProgress([this](int done, int total) {
            QMetaObject::invokeMethod(this, [this, done, total] { showProgress(done, total); },
                                      Qt::QueuedConnection);
        });
        const ScanSummary summary = scanner.scan();
        return [this, summary, report, lead] {
            --m_scans;
            showProgress(0, -1);
            const QString shownLead = m_rebuiltNotice.isEmpty() ? lead : m_rebuiltNotice;
            const bool told = report || !m_rebuiltNotice.isEmpty();
            m_rebuiltNotice.clear();
            if (!summary.Error.isEmpty())
                showStatus(QStringLiteral("The library scan stopped: ") + summary.Error);
            else if (told || summary.Read > 0 || summary.Missing > 0 || summary.Cancelled)
                showStatus((shownLead.isEmpty() ? QStringLiteral("Library: ") : shownLead) + summary.text() +
                           (summary.Cancelled ? QStringLiteral(" (cancelled)") : QString()));
            // A scan that found nothing new leaves the catalogue as it was read.
            const bool unchanged = summary.Read == 0 && summary.Missing == 0 && m_catalogue &&
                                   int(m_catalogue->problems().size()) == summary.Problems;
            if (!unchanged || !summary.Error.isEmpty()) reload();
        };
    });
}

void LibraryMenu::cancelScan() {
    if (m_thread) m_thread->cancel() = true;
}

// total 0: a scan is starting; -1: none runs any more.
void LibraryMenu::showProgress(int done, int total) {
    if (!m_progress) {
        m_progress = new QLabel(&m_host.mainWindow());
        m_progress->setObjectName(QStringLiteral("LibraryProgress"));
        m_cancelButton = new QPushButton(QStringLiteral("Cancel"), &m_host.mainWindow());
        m_cancelButton->setObjectName(QStringLiteral("LibraryCancel"));
        m_cancelButton->setAccessibleName(QStringLiteral("Cancel the library scan"));
        connect(m_cancelButton, &QPushButton::clicked, this, &LibraryMenu::cancelScan);
        m_host.mainWindow().statusBar()->addPermanentWidget(m_progress);
        m_host.mainWindow().statusBar()->addPermanentWidget(m_cancelButton);
    }
    const bool running = total >= 0 && m_scans > 0;
    m_progress->setVisible(running);
    m_cancelButton->setVisible(running);
    if (running)
        m_progress->setText(total == 0 ? QStringLiteral("Scanning the library...")
                                       : QStringLiteral("Scanning the library: %1 of %2 files")
                                             .arg(done)
                                             .arg(total));
}

void LibraryMenu::write(std::function<bool(LibraryDatabase&)> edit, bool reread) {
    ensureOpen();
    ++m_writesPosted;
    post([this, edit = std::move(edit)](LibraryDatabase& database) -> Answer {
        const bool ok = edit(database);
        ++m_writesDone;
        const QString error = database.writable() ? database.lastError()
                                                  : QStringLiteral("it is open read-only");
        return [this, ok, error] {
            if (!ok) showStatus(QStringLiteral("The library was not changed: ") + error);
        };
    });
    if (reread) reload();
}

std::vector<qint64> LibraryMenu::idsOf(const std::vector<int>& entries) const {
    std::vector<qint64> ids;
    for (const int entry : entries)
        ids.push_back(m_catalogue->Entries[std::size_t(entry)].Id);
    return ids;
}

void LibraryMenu::mnu_ShowLibrary_Click() {
    ensureOpen();
    if (!m_catalogue) reload();
    if (!m_libraryWindow) {
        m_libraryWindow = new LibraryWindow(*this, m_host.context());
        QMdiSubWindow* frame = m_host.addChild(m_libraryWindow, true);
        frame->setAttribute(Qt::WA_DeleteOnClose);
        // Beside the patch list, as large as the area allows.
        const QRect area = m_host.context().Mdi.contentsRect();
        const int left = m_host.context().PatchWindow->parentWidget()->geometry().right() + 1;
        frame->move(left, 0);
        frame->resize(std::max(frame->minimumSizeHint().width(), std::min(kWindowWidth, area.width() - left)),
                      std::min(kWindowHeight, area.height()));
    }
    m_host.context().Mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(m_libraryWindow->parentWidget()));
    m_libraryWindow->focusSearch();
}

void LibraryMenu::mnu_AddFolder_Click() {
    const std::optional<QString> folder =
        m_host.context().Desk.chooseFolder(QStringLiteral("Add Folder to Library"));
    if (!folder) return;
    const QString path = *folder;
    write([path](LibraryDatabase& database) { return LibraryEdits::addFolder(database, path); },
          false);
    scan(true);
}

void LibraryMenu::mnu_RescanFolders_Click() { scan(true); }

// The bank's file name, or "Untitled" and the day for a bank without one.
QString LibraryMenu::collectionName() const {
    const QString title = m_host.bankFileTitle();
    return title.isEmpty() ? QStringLiteral("Untitled ") + QDate::currentDate().toString(Qt::ISODate)
                           : title;
}

void LibraryMenu::mnu_AddCurrentBank_Click() {
    std::vector<int> patches;
    for (int patch = kFirstPatch; patch <= kLastPatch; ++patch)
        patches.push_back(patch);
    addBankPatches(patches);
}

void LibraryMenu::addBankPatches(const std::vector<int>& patches) {
    const QuenlorCode& code = m_host.context().Code;
    std::vector<FoundPatch> found;
    for (const int patch : patches) {
        FoundPatch one;
        for (int p = kFirstParameter; p <= kLastParameter; ++p)
            one.Values[std::size_t(p)] = code.PatchBank(patch, p);
        one.Name = m_host.context().PatchWindow->PatchName(patch);
        one.Position = patch;
        found.push_back(std::move(one));
    }
    const QString name = collectionName();
    write([name, found](LibraryDatabase& database) {
        return LibraryEdits::addToCollection(database, name, found);
    }, true);
    showStatus(QStringLiteral("%1 added to the library as \"%2\"")
                   .arg(found.size() == 1 ? QStringLiteral("1 patch")
                                          : QStringLiteral("%1 patches").arg(found.size()),
                        name));
}

void LibraryMenu::mnu_RemoveFolder_Click() {
    ensureOpen();
    post([this](LibraryDatabase& database) -> Answer {
        const auto folders =
            database.folders().value_or(std::vector<std::pair<qint64, QByteArray>>());
        return [this, folders] {
            if (folders.empty()) return showStatus(QStringLiteral("The library watches no folder"));
            QStringList paths;
            for (const auto& folder : folders)
                paths << QDir::toNativeSeparators(pathText(folder.second));
            const std::optional<int> chosen = m_host.context().Desk.chooseItem(
                QStringLiteral("Remove Folder from Library"),
                QStringLiteral("The folder's patches stay in the library, as missing:"), paths);
            if (!chosen || *chosen < 0 || std::size_t(*chosen) >= folders.size()) return;
            const qint64 id = folders[std::size_t(*chosen)].first;
            write([id](LibraryDatabase& database) { return LibraryEdits::removeFolder(database, id); },
                  true);
        };
    });
}

void LibraryMenu::audition(int entry) {
    if (!m_catalogue || entry < 0 || std::size_t(entry) >= m_catalogue->Entries.size()) return;
    m_audition.play(m_catalogue->Entries[std::size_t(entry)].Values);
}

bool LibraryMenu::putIntoBank(const std::vector<int>& entries, const std::vector<QString>& names,
                              int firstPatch, const QString& label) {
    EditorContext& context = m_host.context();
    if (!m_catalogue || entries.empty() || names.size() != entries.size() ||
        firstPatch < kFirstPatch || firstPatch > kLastPatch) {
        context.Desk.beep();
        return false;
    }
    const BankHistory::Step step(context.History, label);
    int patch = firstPatch;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (patch > kLastPatch) break;
        const LibraryEntry& chosen = m_catalogue->Entries[std::size_t(entries[i])];
        const std::unique_ptr<QMimeData> data(Librarian::mimeDataOf(chosen.Values, names[i]));
        m_host.patchLibrarian().pastePatch(patch++, *data);
    }
    return true;
}

void LibraryMenu::setFavourite(const std::vector<int>& entries, bool on) {
    if (!m_catalogue || entries.empty()) return;
    for (const int entry : entries)
        m_catalogue->Entries[std::size_t(entry)].Favourite = on;
    const std::vector<qint64> ids = idsOf(entries);
    write([ids, on](LibraryDatabase& database) { return LibraryEdits::setFavourite(database, ids, on); },
          false);
    emit entriesChanged();
}

void LibraryMenu::setHidden(const std::vector<int>& entries, bool on) {
    if (!m_catalogue || entries.empty()) return;
    for (const int entry : entries)
        m_catalogue->Entries[std::size_t(entry)].Hidden = on;
    const std::vector<qint64> ids = idsOf(entries);
    write([ids, on](LibraryDatabase& database) { return LibraryEdits::setHidden(database, ids, on); },
          false);
    emit entriesChanged();
}

void LibraryMenu::setCategory(const std::vector<int>& entries, qint64 category, bool on) {
    if (!m_catalogue || entries.empty() || category == 0) return;
    for (const int index : entries) {
        LibraryEntry& entry = m_catalogue->Entries[std::size_t(index)];
        auto& ids = entry.Categories;
        const bool has = std::find(ids.begin(), ids.end(), category) != ids.end();
        if (on && !has) ids.push_back(category);
        if (!on && has) ids.erase(std::find(ids.begin(), ids.end(), category));
        m_catalogue->refreshSearchText(entry);
    }
    const std::vector<qint64> ids = idsOf(entries);
    write([ids, category, on](LibraryDatabase& database) {
        return LibraryEdits::setCategory(database, ids, category, on);
    }, false);
    emit entriesChanged();
}

void LibraryMenu::newCategory(const std::vector<int>& entries) {
    const std::optional<QString> name = m_host.context().Desk.askText(
        QStringLiteral("New Category"), QStringLiteral("Name of the new category:"), QString());
    if (!name || name->trimmed().isEmpty()) return;
    if (m_catalogue && m_catalogue->categoryId(*name) != 0)
        return showStatus(QStringLiteral("There is a category \"%1\" already").arg(name->trimmed()));
    const std::vector<qint64> ids = m_catalogue ? idsOf(entries) : std::vector<qint64>();
    const QString trimmed = name->trimmed();
    write([trimmed, ids](LibraryDatabase& database) {
        const qint64 category = LibraryEdits::addCategory(database, trimmed);
        return category != 0 &&
               (ids.empty() || LibraryEdits::setCategory(database, ids, category, true));
    }, true);
}

void LibraryMenu::renameCategory() {
    if (!m_catalogue || m_catalogue->Categories.empty()) return;
    QStringList names;
    for (const LibraryCategory& category : m_catalogue->Categories)
        names << category.Name;
    EditorContext& context = m_host.context();
    const std::optional<int> chosen = context.Desk.chooseItem(
        QStringLiteral("Rename Category"), QStringLiteral("Category to rename:"), names);
    if (!chosen || *chosen < 0 || *chosen >= names.size()) return;
    const std::optional<QString> name = context.Desk.askText(
        QStringLiteral("Rename Category"), QStringLiteral("New name:"), names[*chosen]);
    if (!name || name->trimmed().isEmpty()) return;
    LibraryCategory& category = m_catalogue->Categories[std::size_t(*chosen)];
    const qint64 taken = m_catalogue->categoryId(*name);
    if (taken != 0 && taken != category.Id)
        return showStatus(QStringLiteral("There is a category \"%1\" already").arg(name->trimmed()));
    category.Name = name->trimmed();
    for (LibraryEntry& entry : m_catalogue->Entries)
        if (std::find(entry.Categories.begin(), entry.Categories.end(), category.Id) !=
            entry.Categories.end())
            m_catalogue->refreshSearchText(entry);
    const qint64 id = category.Id;
    const QString newName = category.Name;
    write([id, newName](LibraryDatabase& database) {
        return LibraryEdits::renameCategory(database, id, newName);
    }, false);
    emit entriesChanged();
}
