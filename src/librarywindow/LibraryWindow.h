#pragma once

#include "editors/MdiChild.h"

#include <QWidget>

#include <functional>
#include <vector>

class LibraryMenu;
class LibraryModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTreeWidget;
struct EditorContext;

// The Library window: every patch of the library, found by typing a part of its name or
// category, narrowed by filters that one button clears, sorted by any column or by
// likeness to the bank's selected patch. Moving through the list auditions each patch;
// Enter, a double click or Fill Bank from Selection put patches into the bank. F marks a
// favourite, Delete hides (and shows again).
class LibraryWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    LibraryWindow(LibraryMenu& library, EditorContext& context, QWidget* parent = nullptr);

    QLineEdit* SearchBox = nullptr;
    QComboBox* CategoryFilter = nullptr;
    QCheckBox* FavouritesOnly = nullptr;
    QCheckBox* ShowHidden = nullptr;
    QComboBox* FolderFilter = nullptr;
    QPushButton* ClearFilters = nullptr;
    QTabWidget* Views = nullptr;
    QTableView* PatchTable = nullptr;
    QTreeWidget* CopiesList = nullptr;
    QTableWidget* ProblemsTable = nullptr;
    QPushButton* SimilarButton = nullptr;
    QPushButton* FillBankButton = nullptr;
    QPushButton* CategoriesButton = nullptr;
    QLabel* CountLabel = nullptr;

    QString tag() const override { return QStringLiteral("Library"); }
    LibraryModel& model() const { return *m_model; }

    void focusSearch();
    // The catalogue entries of the selected rows, in list order, and of the current row.
    std::vector<int> selectedEntries() const;
    int currentEntry() const;

    // Enter and a double click: the current patch into the bank's selected row.
    void putCurrentIntoBank();
    void fillBankFromSelection();
    void sortBySimilarity();
    void clearFilters();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    bool dropFromBank(QEvent* event);
    void catalogueChanged();
    // The filter from the controls, applied; the current patch kept where it can be.
    void applyFilter();
    void fillChoices();
    void showCopies();
    void showProblems();
    void showCount();
    // The names the entries' rows put into the bank.
    std::vector<QString> namesForBank(const std::vector<int>& entries) const;
    // Re-lists the rows, keeping the current patch without sending it again.
    void relist(const std::function<void()>& change);

    LibraryMenu& m_library;
    EditorContext& m_context;
    LibraryModel* m_model = nullptr;
    bool m_quiet = false; // the program, not the user, is moving the current row
};
