#include "pedal/FootPedalDialog.h"
#include "pedal/FootPedals.h"
#include "pedal/KnownPedals.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr PedalAction Actions[] = {PedalAction::JumpBack, PedalAction::PlayPause,
                                   PedalAction::Replay};
const char* const ActionNames[] = {"Jump Back", "Play, Pause, Continue (F11)", "Replay (F12)"};

QString keyText(int code)
{
    return code < 0 ? QStringLiteral("none") : keyName(code);
}

// A pedal that acts as a keyboard also sends its key to the focused window.
QString keyWarning(int code)
{
    const QString name = keyName(code);
    const QString remedy =
        QStringLiteral("Set it to send a key that nothing uses, such as F13, with "
                       "its maker's tool, then learn it again.");
    if (keyTypesText(code))
        return QStringLiteral("This pedal also types \"%1\" wherever the caret is, as a keyboard "
                              "would. ")
                   .arg(name) +
               remedy;
    if (keyIsKelvanes(code))
        return QStringLiteral("This pedal sends %1, which Kelvane's window also takes as its own "
                              "key: each press would count twice while the window has the focus. ")
                   .arg(name) +
               remedy;
    return {};
}

} // namespace

FootPedalDialog::FootPedalDialog(FootPedals& pedals, QWidget* parent)
    : QDialog(parent), pedals_(pedals)
{
    setWindowTitle(QStringLiteral("Foot Pedal"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Kelvane reads the ticked devices, whichever window "
                                  "has the focus:")));
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("devices"));
    layout->addWidget(list_);

    auto* box = new QGroupBox(QStringLiteral("Pedals of the selected device"));
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(new QLabel(QLatin1String(ActionNames[i])), i, 0);
        keys_[i] = new QLabel;
        keys_[i]->setObjectName(QStringLiteral("key%1").arg(i));
        grid->addWidget(keys_[i], i, 1);
        learnButtons_[i] = new QPushButton(QStringLiteral("Learn"));
        learnButtons_[i]->setObjectName(QStringLiteral("learn%1").arg(i));
        learnButtons_[i]->setAutoDefault(false);
        grid->addWidget(learnButtons_[i], i, 2);
        connect(learnButtons_[i], &QPushButton::clicked, this, [this, i] { learn(Actions[i]); });
    }
    holdToPlay_ =
        new QCheckBox(QStringLiteral("Hold to play: the sound plays while the F11 pedal is "
                                     "held down and pauses when it is let go"));
    holdToPlay_->setObjectName(QStringLiteral("holdToPlay"));
    grid->addWidget(holdToPlay_, 3, 0, 1, 3);
    layout->addWidget(box);

    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    note_->setTextFormat(Qt::PlainText);
    layout->addWidget(note_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(list_, &QListWidget::currentRowChanged, this, &FootPedalDialog::showMapping);
    connect(list_, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { onDeviceTicked(list_->row(item)); });
    connect(holdToPlay_, &QCheckBox::toggled, this, [this](bool on) {
        if (const InputDevice* device = selected();
            device && pedals_.mapping(*device).holdToPlay != on) {
            PedalMapping mapping = pedals_.mapping(*device);
            mapping.holdToPlay = on;
            change(mapping);
        }
    });
    connect(&pedals_, &FootPedals::devicesChanged, this, &FootPedalDialog::showDevices);
    connect(&pedals_, &FootPedals::keyChanged, this, &FootPedalDialog::onKeyChanged);
    pedals_.setLearning(true);
    showDevices();
}

FootPedalDialog::~FootPedalDialog()
{
    pedals_.setLearning(false);
}

const InputDevice* FootPedalDialog::selected() const
{
    const int row = list_->currentRow();
    return row >= 0 && row < devices_.size() ? &devices_[row] : nullptr;
}

void FootPedalDialog::showDevices()
{
    const QString selectedId = selected() ? selected()->id() : QString();
    const QSignalBlocker quiet(list_);
    // Rebuilt only when devices come or go: a tick changes the items in place.
    if (devices_ != pedals_.devices()) {
        devices_ = pedals_.devices();
        list_->clear();
        for (int i = 0; i < devices_.size(); ++i)
            new QListWidgetItem(list_);
    }
    int current = -1;
    for (int row = 0; row < devices_.size(); ++row) {
        const InputDevice& device = devices_[row];
        QString text = device.title();
        if (pedals_.notAllowed().contains(device))
            text += QStringLiteral(": may not be read");
        else if (isKnownPedal(device.vendor, device.product))
            text += QStringLiteral(": foot pedal");
        QListWidgetItem* item = list_->item(row);
        item->setText(text);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(pedals_.mapping(device).use ? Qt::Checked : Qt::Unchecked);
        // The device selected stays so; else the first one read is selected.
        if (device.id() == selectedId ||
            (current < 0 && selectedId.isEmpty() && pedals_.isReading(device)))
            current = row;
    }
    list_->setCurrentRow(current < 0 && !devices_.isEmpty() ? 0 : current);
    showMapping();
    if (learning_ == PedalAction::None)
        note_->setText(pedals_.notAllowedText());
}

void FootPedalDialog::showMapping()
{
    const InputDevice* device = selected();
    const PedalMapping mapping = device ? pedals_.mapping(*device) : PedalMapping();
    for (int i = 0; i < 3; ++i) {
        keys_[i]->setText(device ? keyText(mapping.key(Actions[i])) : QString());
        learnButtons_[i]->setEnabled(device && pedals_.isReading(*device));
    }
    const QSignalBlocker quiet(holdToPlay_);
    holdToPlay_->setEnabled(device != nullptr);
    holdToPlay_->setChecked(mapping.holdToPlay);
}

void FootPedalDialog::learn(PedalAction action)
{
    learning_ = action;
    note_->setText(QStringLiteral("Press the pedal for %1 now.")
                       .arg(QLatin1String(ActionNames[int(action) - int(PedalAction::JumpBack)])));
}

void FootPedalDialog::onKeyChanged(const InputDevice& device, KeyChange key)
{
    const InputDevice* current = selected();
    if (!key.pressed || !current || device.id() != current->id())
        return;
    if (learning_ == PedalAction::None) {
        note_->setText(QStringLiteral("%1 was pressed.").arg(keyName(key.code)));
        return;
    }
    PedalMapping mapping = pedals_.mapping(device);
    mapping.setKey(learning_, key.code);
    learning_ = PedalAction::None;
    change(mapping);
    note_->setText(keyWarning(key.code));
}

void FootPedalDialog::onDeviceTicked(int row)
{
    if (row < 0 || row >= devices_.size())
        return;
    const InputDevice device = devices_[row];
    PedalMapping mapping = pedals_.mapping(device);
    mapping.use = list_->item(row)->checkState() == Qt::Checked;
    list_->setCurrentRow(row);
    change(mapping);
    if (mapping.use && pedals_.notAllowed().contains(device))
        QMessageBox::warning(this, QStringLiteral("Kelvane"), pedals_.notAllowedText());
}

void FootPedalDialog::change(const PedalMapping& mapping)
{
    const InputDevice device = *selected();
    if (!changed_.contains(device))
        changed_.append(device);
    pedals_.preview(device, mapping);
}

void FootPedalDialog::accept()
{
    for (const InputDevice& device : std::as_const(changed_))
        pedals_.mapping(device).save(device);
    pedals_.reload();
    QDialog::accept();
}

void FootPedalDialog::reject()
{
    pedals_.reload();
    QDialog::reject();
}
