#include "SoundMenu.h"

#include "BreedWindow.h"
#include "MorphWindow.h"
#include "editors/PatchWriter.h"
#include "core/QuenlorCode.h"
#include "core/ScopedFlag.h"
#include "core/SoundRules.h"
#include "desktop/Desktop.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/LockedParameters.h"
#include "settings/Settings.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRandomGenerator>
#include <algorithm>

namespace {
const QString kMutate = QStringLiteral("Mutate");
const QString kRandomize = QStringLiteral("Randomize");
const QKeySequence kMutateKey(QStringLiteral("Ctrl+M"));
constexpr QSize kMorphSize(420, 200);
constexpr QSize kBreedSize(440, 420);

// The amounts' captions, each with an access key of its own: "&5 %", "&10 %", "&25 %", "5&0 %".
QString amountCaption(int amount) {
    const QString text = QStringLiteral("%1 %").arg(amount);
    return amount == 50 ? QStringLiteral("5&0 %") : '&' + text;
}
} // namespace

SoundMenu::SoundMenu(EditorContext& context, SettingsStore& store, PatchWriter& writer,
                     std::function<std::optional<int>()> target, QWidget* parent)
    : QObject(parent), m_context(context), m_store(store), m_writer(writer),
      m_target(std::move(target)), m_locks(new LockedParameters(this)) {
    m_context.Locks = m_locks;
    connect(m_locks, &LockedParameters::changed, this, [this] {
        if (!m_loadingLocks) SaveLocks(m_locks->locks(), m_store);
    });

    mnu_Sound = new QMenu(QStringLiteral("&Sound"), parent);
    mnu_Sound->setObjectName(QStringLiteral("mnu_Sound"));
    mnu_Mutate = mnu_Sound->addMenu(QStringLiteral("&Mutate"));
    mnu_Mutate->setObjectName(QStringLiteral("mnu_Mutate"));
    for (std::size_t i = 0; i < kMutateAmounts.size(); ++i) {
        const int amount = kMutateAmounts[i];
        mnu_MutateBy[i] = mnu_Mutate->addAction(amountCaption(amount), this,
                                                [this, amount] { mutate(amount); });
        mnu_MutateBy[i]->setObjectName(QStringLiteral("mnu_Mutate%1").arg(amount));
    }
    useAmount(kFirstAmount);
    mnu_Randomize = mnu_Sound->addAction(QStringLiteral("&Randomize"), this, [this] { randomize(); });
    mnu_Randomize->setObjectName(QStringLiteral("mnu_Randomize"));
    mnu_RollAgain = mnu_Sound->addAction(QStringLiteral("Roll &Again"), this, [this] { rollAgain(); });
    mnu_RollAgain->setObjectName(QStringLiteral("mnu_RollAgain"));
    mnu_RollAgain->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+M")));
    mnu_Sound->addSeparator();
    mnu_ClearLocks = mnu_Sound->addAction(QStringLiteral("Clear All Locks"), this,
                                          [this] { m_locks->setLocks({}); });
    mnu_ClearLocks->setObjectName(QStringLiteral("mnu_ClearLocks"));
    mnu_Sound->addSeparator();
    mnu_Morph = mnu_Sound->addAction(QStringLiteral("Mor&ph..."), this, [this] { mnu_Morph_Click(); });
    mnu_Morph->setObjectName(QStringLiteral("mnu_Morph"));
    mnu_Breed = mnu_Sound->addAction(QStringLiteral("&Breed..."), this, [this] { mnu_Breed_Click(); });
    mnu_Breed->setObjectName(QStringLiteral("mnu_Breed"));
}

SoundMenu::~SoundMenu() {
    if (m_context.Locks == m_locks) m_context.Locks = nullptr;
}

// What was read is not written back: the store keeps a hand-edited list as it is until
// the locks change.
void SoundMenu::loadLocks() {
    const ScopedFlag<bool> loading(m_loadingLocks, true);
    m_locks->setLocks(LoadLocks(m_store));
}

void SoundMenu::useAmount(int amount) {
    m_amount = amount;
    for (std::size_t i = 0; i < kMutateAmounts.size(); ++i)
        mnu_MutateBy[i]->setShortcut(kMutateAmounts[i] == amount ? kMutateKey : QKeySequence());
}

int SoundMenu::targetPatch() const {
    // A window with no patch of its own (Morph, Breed, Compare) works on the selected one.
    if (const std::optional<int> patch = m_target ? m_target() : std::nullopt) return *patch;
    return m_writer.selectedPatch();
}

void SoundMenu::mutate(int amount) {
    useAmount(amount);
    roll(targetPatch(), false, amount);
}

void SoundMenu::randomize() { roll(targetPatch(), true, m_amount); }

void SoundMenu::roll(int patch, bool randomize, int amount) {
    if (patch == 0) {
        m_context.Desk.beep();
        return;
    }
    SoundRandom random(QRandomGenerator::global()->generate64());
    const PatchValues before = m_context.Code.PatchBank.values(patch);
    const ParameterLocks& locks = m_locks->locks();
    const PatchValues made = randomize ? SoundRules::randomizePatch(before, locks, random)
                                       : SoundRules::mutatePatch(before, amount, locks, random);
    m_writer.write(patch, made, randomize ? kRandomize : kMutate);
    const int index = m_context.History ? m_context.History->stack().index() : 0;
    m_lastRoll = Roll{patch, randomize, amount, made, index};
}

void SoundMenu::rollAgain() {
    if (!m_lastRoll) {
        mutate(m_amount);
        return;
    }
    const Roll last = *m_lastRoll;
    BankHistory* history = m_context.History;
    const bool stillLast = history && history->canUndo() &&
                           history->stack().index() == last.StepIndex &&
                           history->undoText() == (last.Randomize ? kRandomize : kMutate) &&
                           m_context.Code.PatchBank.values(last.Patch) == last.Made;
    if (stillLast) {
        // Taken back without a send of its own: the new roll is sent once, as any roll
        // is. Automatic update rests for the moment rather than the editors' gate, which
        // the undo's refill opens again.
        const ScopedFlag<int16_t> quiet(m_context.Code.AutoUpdate, kOff);
        history->undo();
    }
    roll(stillLast ? last.Patch : targetPatch(), last.Randomize, last.Amount);
}

// In the area's lower right corner, whole, where it leaves the patch list and an editor
// beside it as much room as it can.
QMdiSubWindow* SoundMenu::addWindow(QWidget* window, const QSize& size) {
    QMdiSubWindow* frame = m_context.Mdi.addSubWindow(window);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    const QSize area = m_context.Mdi.viewport()->size();
    frame->resize(size.boundedTo(area));
    frame->move(std::max(0, area.width() - frame->width()), std::max(0, area.height() - frame->height()));
    frame->show();
    return frame;
}

MorphWindow* SoundMenu::morph() const { return m_morph.data(); }
BreedWindow* SoundMenu::breed() const { return m_breed.data(); }

// One window of each, on the patch selected when it opens: a second choice brings the one
// there is to the front, its target as it was.
void SoundMenu::mnu_Morph_Click() {
    if (!m_morph) {
        m_morph = new MorphWindow(m_context, m_writer, m_writer.selectedPatch());
        addWindow(m_morph, kMorphSize);
    }
    m_context.Mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(m_morph->parentWidget()));
}

void SoundMenu::mnu_Breed_Click() {
    if (!m_breed) {
        m_breed = new BreedWindow(m_context, m_writer, m_writer.selectedPatch());
        addWindow(m_breed, kBreedSize);
    }
    m_context.Mdi.setActiveSubWindow(qobject_cast<QMdiSubWindow*>(m_breed->parentWidget()));
}
