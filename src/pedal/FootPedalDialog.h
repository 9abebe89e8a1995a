#pragma once

#include "pedal/InputDevices.h"
#include "pedal/PedalMapping.h"

#include <QDialog>

class FootPedals;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
struct KeyChange;

// Play Control > Foot Pedal...: the devices with keys, the ones Kelvane
// reads ticked, and what each pedal of the selected one does, learned by
// pressing it. What is chosen works at once; OK keeps it in the user's
// settings and Cancel goes back to what was kept before.
class FootPedalDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit FootPedalDialog(FootPedals& pedals, QWidget* parent = nullptr);
    ~FootPedalDialog() override;

    void accept() override;
    void reject() override;

private:
    void showDevices();
    void showMapping();
    void learn(PedalAction action);
    void onKeyChanged(const InputDevice& device, KeyChange change);
    void onDeviceTicked(int row);
    void change(const PedalMapping& mapping);
    const InputDevice* selected() const;

    FootPedals& pedals_;
    QList<InputDevice> devices_;
    // The devices whose mapping the user changed, to keep on OK.
    QList<InputDevice> changed_;
    PedalAction learning_ = PedalAction::None;
    QListWidget* list_;
    QLabel* keys_[3];
    QPushButton* learnButtons_[3];
    QCheckBox* holdToPlay_;
    QLabel* note_;
};
