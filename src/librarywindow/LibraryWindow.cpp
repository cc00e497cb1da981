#include "LibraryWindow.h"

#include "librarian/Librarian.h"
#include "LibraryMenu.h"
#include "LibraryModel.h"
#include "core/QuenlorCode.h"
#include "core/ScopedFlag.h"
#include "editors/EditorContext.h"
#include "editors/Patch.h"
#include "library/LibraryWriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QListWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {
template <typename T>
T* named(T* widget, const char* name, const QString& accessibleName) {
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}

constexpr int kNameWidth = 200;
constexpr int kCategoriesWidth = 140;
constexpr int kNarrowWidth = 70;
constexpr int kCopyFileWidth = 420; // a file's name and most of its folder
} // namespace

LibraryWindow::LibraryWindow(LibraryMenu& library, EditorContext& context, QWidget* parent)
    : QWidget(parent), m_library(library), m_context(context) {
    setWindowTitle(QStringLiteral("Library"));
    setObjectName(QStringLiteral("Library"));
    m_model = new LibraryModel(this);
    createControls();
    connect(&m_library, &LibraryMenu::catalogueChanged, this, &LibraryWindow::catalogueChanged);
    connect(&m_library, &LibraryMenu::entriesChanged, this, [this] {
        relist([this] { m_model->refresh(); });
        fillChoices(); // a category may have a new name
        showCopies();
    });
    catalogueChanged();
}

void LibraryWindow::createControls() {
    // Access keys stay clear of the menu bar's letters.
    SearchBox = named(new QLineEdit(this), "SearchBox", QStringLiteral("Search names and categories"));
    SearchBox->setPlaceholderText(QStringLiteral("Part of a name or category"));
    SearchBox->setClearButtonEnabled(true);
    auto* searchLabel = new QLabel(QStringLiteral("Sea&rch:"), this);
    searchLabel->setBuddy(SearchBox);

    CategoryFilter = named(new QComboBox(this), "CategoryFilter", QStringLiteral("Category filter"));
    auto* categoryLabel = new QLabel(QStringLiteral("&Category:"), this);
    categoryLabel->setBuddy(CategoryFilter);
    FavouritesOnly = named(new QCheckBox(QStringLiteral("Fa&vourites only"), this), "FavouritesOnly",
                           QStringLiteral("Favourites only"));
    ShowHidden = named(new QCheckBox(QStringLiteral("Show hi&dden"), this), "ShowHidden",
                       QStringLiteral("Show hidden patches"));
    FolderFilter = named(new QComboBox(this), "FolderFilter", QStringLiteral("Folder filter"));
    FolderFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    FolderFilter->setMinimumContentsLength(16);
    auto* folderLabel = new QLabel(QStringLiteral("F&older:"), this);
    folderLabel->setBuddy(FolderFilter);
    ClearFilters = named(new QPushButton(QStringLiteral("Clear fil&ters"), this), "ClearFilters",
                         QStringLiteral("Clear filters"));

    PatchTable = named(new QTableView(this), "PatchTable", QStringLiteral("Library patches"));
    PatchTable->setModel(m_model);
    PatchTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    PatchTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    PatchTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PatchTable->setSortingEnabled(true);
    PatchTable->sortByColumn(LibraryModel::NameColumn, Qt::AscendingOrder);
    PatchTable->setWordWrap(false);
    PatchTable->setDragEnabled(true);
    PatchTable->setAcceptDrops(true);
    PatchTable->setDragDropMode(QAbstractItemView::DragDrop);
    PatchTable->setDefaultDropAction(Qt::CopyAction);
    PatchTable->verticalHeader()->hide();
    // Rows of one height and columns of set widths: a view of 100,000 rows then
    // measures none of them.
    PatchTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    PatchTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    PatchTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    PatchTable->horizontalHeader()->setStretchLastSection(true);
    PatchTable->setColumnWidth(LibraryModel::NameColumn, kNameWidth);
    PatchTable->setColumnWidth(LibraryModel::CategoriesColumn, kCategoriesWidth);
    PatchTable->setColumnWidth(LibraryModel::FavouriteColumn, kNarrowWidth);
    PatchTable->setColumnWidth(LibraryModel::CopiesColumn, kNarrowWidth);
    PatchTable->installEventFilter(this);
    PatchTable->viewport()->installEventFilter(this);
    // A column's sort replaces the order by likeness, which shows no indicator.
    connect(PatchTable->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this] { PatchTable->horizontalHeader()->setSortIndicatorShown(true); });
    SearchBox->installEventFilter(this);

    CopiesList = named(new QTreeWidget(this), "CopiesList", QStringLiteral("Copies of the patch"));
    CopiesList->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Position"),
                                 QStringLiteral("Name there")});
    CopiesList->setRootIsDecorated(false);
    CopiesList->setColumnWidth(0, kCopyFileWidth);
    CopiesList->setMaximumHeight(fontMetrics().height() * 7);
    auto* copiesLabel = new QLabel(QStringLiteral("Cop&ies:"), this);
    copiesLabel->setBuddy(CopiesList);

    auto* patchesPage = new QWidget(this);
    auto* patchesColumn = new QVBoxLayout(patchesPage);
    patchesColumn->setContentsMargins(0, 0, 0, 0);
    patchesColumn->addWidget(PatchTable, 1);
    patchesColumn->addWidget(copiesLabel);
    patchesColumn->addWidget(CopiesList);

    ProblemsTable = named(new QTableWidget(0, 2, this), "ProblemsTable",
                          QStringLiteral("Files the library could not read"));
    ProblemsTable->setHorizontalHeaderLabels({QStringLiteral("File or folder"), QStringLiteral("Reason")});
    ProblemsTable->verticalHeader()->hide();
    ProblemsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ProblemsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ProblemsTable->horizontalHeader()->setStretchLastSection(true);
    ProblemsTable->setColumnWidth(0, 320);

    Views = named(new QTabWidget(this), "Views", QStringLiteral("Library views"));
    Views->addTab(patchesPage, QStringLiteral("&Patches"));
    Views->addTab(ProblemsTable, QStringLiteral("Pro&blems"));

    SimilarButton = named(new QPushButton(QStringLiteral("Si&milar to selected"), this),
                          "SimilarButton", QStringLiteral("Sort by likeness to the bank's selected patch"));
    FillBankButton = named(new QPushButton(QStringLiteral("Fill Bank from Selectio&n"), this),
                           "FillBankButton", QStringLiteral("Fill Bank from Selection"));
    CategoriesButton = named(new QPushButton(QStringLiteral("Cate&gories"), this), "CategoriesButton",
                             QStringLiteral("Categories of the selected patches"));
    auto* categoriesMenu = new QMenu(CategoriesButton);
    CategoriesButton->setMenu(categoriesMenu);
    CountLabel = named(new QLabel(this), "CountLabel", QStringLiteral("Patches shown"));

    auto* filters = new QGridLayout;
    filters->addWidget(searchLabel, 0, 0);
    filters->addWidget(SearchBox, 0, 1, 1, 5);
    filters->addWidget(categoryLabel, 1, 0);
    filters->addWidget(CategoryFilter, 1, 1);
    filters->addWidget(FavouritesOnly, 1, 2);
    filters->addWidget(ShowHidden, 1, 3);
    filters->addWidget(folderLabel, 2, 0);
    filters->addWidget(FolderFilter, 2, 1, 1, 3);
    filters->addWidget(ClearFilters, 2, 4);
    filters->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SimilarButton);
    buttons->addWidget(FillBankButton);
    buttons->addWidget(CategoriesButton);
    buttons->addStretch(1);
    buttons->addWidget(CountLabel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(filters);
    column->addWidget(Views, 1);
    column->addLayout(buttons);

    setTabOrder(SearchBox, PatchTable);
    setTabOrder(PatchTable, CopiesList);
    setTabOrder(CopiesList, SimilarButton);
    setTabOrder(SimilarButton, FillBankButton);
    setTabOrder(FillBankButton, CategoriesButton);
    setTabOrder(CategoriesButton, CategoryFilter);
    setTabOrder(CategoryFilter, FavouritesOnly);
    setTabOrder(FavouritesOnly, ShowHidden);
    setTabOrder(ShowHidden, FolderFilter);
    setTabOrder(FolderFilter, ClearFilters);

    connect(SearchBox, &QLineEdit::textChanged, this, &LibraryWindow::applyFilter);
    connect(CategoryFilter, &QComboBox::currentIndexChanged, this, &LibraryWindow::applyFilter);
    connect(FolderFilter, &QComboBox::currentIndexChanged, this, &LibraryWindow::applyFilter);
    connect(FavouritesOnly, &QCheckBox::toggled, this, &LibraryWindow::applyFilter);
    connect(ShowHidden, &QCheckBox::toggled, this, &LibraryWindow::applyFilter);
    connect(ClearFilters, &QPushButton::clicked, this, &LibraryWindow::clearFilters);
    connect(SimilarButton, &QPushButton::clicked, this, &LibraryWindow::sortBySimilarity);
    connect(FillBankButton, &QPushButton::clicked, this, &LibraryWindow::fillBankFromSelection);
    connect(PatchTable, &QTableView::doubleClicked, this, [this] { putCurrentIntoBank(); });
    connect(PatchTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        showCopies();
        if (!m_quiet) m_library.audition(currentEntry());
    });
    connect(categoriesMenu, &QMenu::aboutToShow, this, [this, categoriesMenu] {
        categoriesMenu->clear();
        const LibraryCatalogue* catalogue = m_model->catalogue();
        const std::vector<int> chosen = selectedEntries();
        if (catalogue) {
            for (const LibraryCategory& category : catalogue->Categories) {
                QAction* item = categoriesMenu->addAction(category.Name);
                item->setCheckable(true);
                item->setEnabled(!chosen.empty());
                item->setChecked(!chosen.empty() &&
                                 std::all_of(chosen.begin(), chosen.end(), [&](int entry) {
                                     const auto& ids = catalogue->Entries[std::size_t(entry)].Categories;
                                     return std::find(ids.begin(), ids.end(), category.Id) != ids.end();
                                 }));
                const qint64 id = category.Id;
                connect(item, &QAction::triggered, this, [this, id](bool on) {
                    m_library.setCategory(selectedEntries(), id, on);
                });
            }
        }
        categoriesMenu->addSeparator();
        categoriesMenu->addAction(QStringLiteral("&New Category..."), this,
                                  [this] { m_library.newCategory(selectedEntries()); });
        categoriesMenu->addAction(QStringLiteral("&Rename Category..."), this,
                                  [this] { m_library.renameCategory(); });
    });
}

void LibraryWindow::focusSearch() {
    SearchBox->setFocus();
    SearchBox->selectAll();
}

int LibraryWindow::currentEntry() const {
    return m_model->entryAt(PatchTable->currentIndex().row());
}

std::vector<int> LibraryWindow::selectedEntries() const {
    std::vector<int> rows;
    for (const QModelIndex& index : PatchTable->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<int> entries;
    for (const int row : rows)
        entries.push_back(m_model->entryAt(row));
    return entries;
}

void LibraryWindow::relist(const std::function<void()>& change) {
    const LibraryCatalogue* before = m_model->catalogue();
    const int entry = currentEntry();
    const qint64 id = before && entry >= 0 ? before->Entries[std::size_t(entry)].Id : 0;
    const ScopedFlag<bool> quiet(m_quiet, true, false);
    change();
    const LibraryCatalogue* now = m_model->catalogue();
    const int row = now && id != 0 ? m_model->rowOf(now->indexOf(id)) : -1;
    if (row >= 0)
        PatchTable->selectionModel()->setCurrentIndex(
            m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    showCount();
}

void LibraryWindow::catalogueChanged() {
    relist([this] { m_model->setCatalogue(m_library.sharedCatalogue()); });
    fillChoices();
    showProblems();
    showCopies();
}

void LibraryWindow::applyFilter() {
    LibraryFilter filter;
    filter.Search = SearchBox->text();
    filter.Category = CategoryFilter->currentData().toLongLong();
    filter.FavouritesOnly = FavouritesOnly->isChecked();
    filter.ShowHidden = ShowHidden->isChecked();
    filter.Source = FolderFilter->currentData().toLongLong();
    if (filter != m_model->filter()) relist([&] { m_model->setFilter(filter); });
}

void LibraryWindow::clearFilters() {
    const QSignalBlocker quiet[] = {QSignalBlocker(SearchBox), QSignalBlocker(CategoryFilter),
                                    QSignalBlocker(FavouritesOnly), QSignalBlocker(ShowHidden),
                                    QSignalBlocker(FolderFilter)};
    SearchBox->clear();
    CategoryFilter->setCurrentIndex(0);
    FavouritesOnly->setChecked(false);
    ShowHidden->setChecked(false);
    FolderFilter->setCurrentIndex(0);
    applyFilter();
}

// The choices of the two lists, keeping what was chosen where it is still there.
void LibraryWindow::fillChoices() {
    const LibraryCatalogue* catalogue = m_model->catalogue();
    const auto refill = [](QComboBox* list, const QString& any,
                           const std::vector<std::pair<QString, qint64>>& choices) {
        const QSignalBlocker quiet(list);
        const qint64 chosen = list->currentData().toLongLong();
        list->clear();
        list->addItem(any, qint64(0));
        for (const auto& [text, id] : choices)
            list->addItem(text, id);
        list->setCurrentIndex(std::max(0, list->findData(chosen)));
    };
    std::vector<std::pair<QString, qint64>> categories;
    std::vector<std::pair<QString, qint64>> sources;
    if (catalogue) {
        for (const LibraryCategory& category : catalogue->Categories)
            categories.emplace_back(category.Name, category.Id);
        for (const LibraryFolder& folder : catalogue->Folders)
            sources.emplace_back(folder.Path, folder.Id);
        for (const LibraryFile& file : catalogue->Files)
            if (file.Kind == LibraryFiles::kCollection)
                sources.emplace_back(QStringLiteral("Collection: ") + file.Path, -file.Id);
    }
    refill(CategoryFilter, QStringLiteral("All categories"), categories);
    refill(FolderFilter, QStringLiteral("All folders"), sources);
    applyFilter();
}

void LibraryWindow::showCopies() {
    CopiesList->clear();
    const LibraryCatalogue* catalogue = m_model->catalogue();
    const int entry = currentEntry();
    if (!catalogue || entry < 0) return;
    const LibraryEntry& chosen = catalogue->Entries[std::size_t(entry)];
    for (int i = chosen.FirstCopy; i < chosen.FirstCopy + chosen.CopyCount; ++i) {
        const LibraryCopy& copy = catalogue->Copies[std::size_t(i)];
        const LibraryFile& file = catalogue->Files[std::size_t(copy.File)];
        auto* item = new QTreeWidgetItem(CopiesList,
                                         {file.Shown, QString::number(copy.Position), copy.Shown});
        if (file.Kind == LibraryFiles::kWatched) item->setToolTip(0, file.Path);
    }
}

void LibraryWindow::showProblems() {
    const LibraryCatalogue* catalogue = m_model->catalogue();
    const auto problems = catalogue ? catalogue->problems() : decltype(catalogue->problems())();
    ProblemsTable->setRowCount(int(problems.size()));
    for (std::size_t i = 0; i < problems.size(); ++i) {
        ProblemsTable->setItem(int(i), 0, new QTableWidgetItem(problems[i].first));
        ProblemsTable->setItem(int(i), 1, new QTableWidgetItem(problems[i].second));
    }
    Views->setTabText(1, problems.empty() ? QStringLiteral("Pro&blems")
                                          : QStringLiteral("Pro&blems (%1)").arg(problems.size()));
}

void LibraryWindow::showCount() {
    if (!m_model->catalogue()) {
        CountLabel->setText(QStringLiteral("Reading the library..."));
        return;
    }
    CountLabel->setText(QStringLiteral("%1 of %2 patches").arg(m_model->rowCount()).arg(m_model->total()));
}

std::vector<QString> LibraryWindow::namesForBank(const std::vector<int>& entries) const {
    std::vector<QString> names;
    for (const int entry : entries)
        names.push_back(m_model->nameForBank(m_model->catalogue()->Entries[std::size_t(entry)]));
    return names;
}

void LibraryWindow::putCurrentIntoBank() {
    const int entry = currentEntry();
    const std::vector<int> entries = entry >= 0 ? std::vector<int>{entry} : std::vector<int>{};
    m_library.putIntoBank(entries, namesForBank(entries), m_context.PatchWindow->selectedRowPatch(),
                          QStringLiteral("Patch from Library"));
}

void LibraryWindow::fillBankFromSelection() {
    const std::vector<int> entries = selectedEntries();
    m_library.putIntoBank(entries, namesForBank(entries), m_context.PatchWindow->selectedRowPatch(),
                          QStringLiteral("Fill Bank from Selection"));
}

void LibraryWindow::sortBySimilarity() {
    const int patch = m_context.PatchWindow->selectedRowPatch();
    if (patch == 0) return;
    PatchValues reference{};
    for (int p = kFirstParameter; p <= kLastParameter; ++p)
        reference[std::size_t(p)] = m_context.Code.PatchBank(patch, p);
    PatchTable->horizontalHeader()->setSortIndicatorShown(false);
    relist([&] { m_model->sortBy(LibraryCatalogue::SortKey::Similarity, true, &reference); });
    PatchTable->scrollToTop();
}

bool LibraryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PatchTable->viewport()) return dropFromBank(event);
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == SearchBox && key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier) {
        // Taking the focus makes the first row current without selecting it.
        PatchTable->setFocus();
        const QModelIndex current = PatchTable->currentIndex();
        if (m_model->rowCount() > 0)
            PatchTable->selectionModel()->setCurrentIndex(
                current.isValid() ? current : m_model->index(0, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    // F with Shift is F as well: the list's type-to-find must not take it.
    const Qt::KeyboardModifiers ignored =
        key->key() == Qt::Key_F ? Qt::KeypadModifier | Qt::ShiftModifier : Qt::KeypadModifier;
    if (watched != PatchTable || key->modifiers() & ~ignored) return false;
    const std::vector<int> chosen = selectedEntries();
    const LibraryCatalogue* catalogue = m_model->catalogue();
    const auto all = [&](bool LibraryEntry::*flag) {
        return std::all_of(chosen.begin(), chosen.end(), [&](int entry) {
            return catalogue->Entries[std::size_t(entry)].*flag;
        });
    };
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: putCurrentIntoBank(); return true;
    case Qt::Key_F:
        if (catalogue && !chosen.empty()) m_library.setFavourite(chosen, !all(&LibraryEntry::Favourite));
        return true;
    case Qt::Key_Delete:
        if (catalogue && !chosen.empty()) m_library.setHidden(chosen, !all(&LibraryEntry::Hidden));
        return true;
    case Qt::Key_Escape: focusSearch(); return true;
    default: return false;
    }
}

// Rows dragged from the patch list join the library, as Add Current Bank adds them.
bool LibraryWindow::dropFromBank(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QObject* source = drop->source();
    const int patch = Librarian::draggedPatch(drop->mimeData());
    // A drop made by the window system alone has no source.
    if ((source && source != m_context.PatchWindow->PatchList) || patch == 0) {
        // The library's own rows are never dropped on it.
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop) m_library.addBankPatches({patch});
    return true;
}
