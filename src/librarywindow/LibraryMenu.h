#pragma once

#include "editors/Audition.h"
#include "library/LibraryCatalogue.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class LibraryHost;
class LibraryDatabase;
class LibraryThread;
class LibraryWindow;
class QAction;
class QLabel;
class QMenu;
class QPushButton;

// The patch library as the program uses it: the Library menu and its commands, the
// database on a thread of its own, the catalogue the Library window shows, the scans
// with their progress and Cancel in the status bar, and what the window asks of the bank
// and the instrument. The library is opened on first use or by openInBackground, so the
// program starts as fast with a large library as with none.
class LibraryMenu : public QObject {
    Q_OBJECT
public:
    explicit LibraryMenu(LibraryHost& host);
    ~LibraryMenu() override;

    QMenu* mnu_Library = nullptr;
    QAction* mnu_ShowLibrary = nullptr;
    QAction* mnu_AddFolder = nullptr;
    QAction* mnu_RescanFolders = nullptr;
    QAction* mnu_AddCurrentBank = nullptr;
    QAction* mnu_RemoveFolder = nullptr;

    void mnu_ShowLibrary_Click();
    void mnu_AddFolder_Click();
    void mnu_RescanFolders_Click();
    void mnu_AddCurrentBank_Click();
    void mnu_RemoveFolder_Click();

    // Opens the library, reads it and rescans the watched folders, all on the library's
    // thread; the program calls it once its window is up.
    void openInBackground();

    LibraryWindow* window() const;
    // Null until the library has been read. Entries change in place (favourites,
    // categories); a new catalogue replaces it after scans and additions.
    LibraryCatalogue* catalogue() const { return m_catalogue.get(); }
    std::shared_ptr<const LibraryCatalogue> sharedCatalogue() const { return m_catalogue; }
    // Jobs posted to the library's thread and not answered yet: 0 when it is at rest.
    int pendingJobs() const { return m_pending; }
    bool scanning() const { return m_scans > 0; }
    QLabel* progressLabel() const { return m_progress; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // What the Library window asks for; entries are indices into the catalogue.
    // Sends the patch to the instrument, the bank unchanged; with "Play a note when
    // auditioning" the test note follows.
    void audition(int entry);
    // The patches go into the bank from `firstPatch` on, with the names given (one for
    // each entry), as one step of the history; false (and a beep) when there is no patch
    // to put or no row.
    bool putIntoBank(const std::vector<int>& entries, const std::vector<QString>& names,
                     int firstPatch, const QString& label);
    void setFavourite(const std::vector<int>& entries, bool on);
    void setHidden(const std::vector<int>& entries, bool on);
    void setCategory(const std::vector<int>& entries, qint64 category, bool on);
    // Asks for a name; the new category is given to the entries.
    void newCategory(const std::vector<int>& entries);
    // Asks which category and its new name.
    void renameCategory();
    // Patches of the bank join the library, as Add Current Bank adds the whole bank.
    void addBankPatches(const std::vector<int>& patches);
    void cancelScan();

signals:
    // A new catalogue: after it was read, a scan, a folder or patches added.
    void catalogueChanged();
    // Entries of the catalogue changed in place: favourites, hidden, categories.
    void entriesChanged();

private:
    using Answer = std::function<void()>;
    using Job = std::function<Answer(LibraryDatabase&)>;

    void ensureOpen();
    // Runs the job on the library's thread and its answer back on this one.
    void post(Job job);
    void reload();
    // `report`: the summary goes to the status bar also when nothing had changed, as
    // after the user's own Rescan; the scans the program starts itself keep quiet then.
    // `lead` goes before the summary in place of "Library: ".
    void scan(bool report, const QString& lead = QString());
    // A change of the database; the catalogue is read again afterwards when `reread`.
    void write(std::function<bool(LibraryDatabase&)> edit, bool reread);
    void showProgress(int done, int total);
    void showStatus(const QString& text);
    QString collectionName() const;
    std::vector<qint64> idsOf(const std::vector<int>& entries) const;

    LibraryHost& m_host;
    std::unique_ptr<LibraryThread> m_thread;
    std::shared_ptr<LibraryCatalogue> m_catalogue;
    QPointer<LibraryWindow> m_libraryWindow;
    int m_pending = 0;
    int m_scans = 0;
    bool m_reloadPosted = false;
    // A library built again for a damaged one: said before the summary of the next scan
    // to end, which is the one that reads the watched folders into it.
    QString m_rebuiltNotice;
    int m_writesPosted = 0;
    int m_writesDone = 0; // on the library's thread only
    QLabel* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr;
    Audition m_audition;
};
