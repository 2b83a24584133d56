#pragma once

#include "capture/decklinkdevice.h"
#include <decklink/comptr.h>

#include <QAbstractListModel>
#include <vector>

// The cards the driver reported, by name, in the order they arrived: one
// model behind every input list of the window, so the lists cannot disagree.
// Each row holds one reference to its device; a device leaves the model only
// through take, which hands that reference to the caller.
class CardListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // The card's name (display role).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Appends the device; the model keeps the reference it is given.
    void append(ComPtr<DeckLinkDevice> device);
    // Removes the row and hands its reference over; empty for a row that is not there.
    ComPtr<DeckLinkDevice> take(int row);
    // Every row removed and its reference let go.
    void clear();

    // The device of the row, held by the model; null for a row that is not there.
    DeckLinkDevice* device(int row) const;
    // The row of the card's device, -1 if it has none.
    int rowOf(const IDeckLink* card) const;
    // Whether the device of any row is capturing.
    bool anyCapturing() const;

private:
    std::vector<ComPtr<DeckLinkDevice>> m_devices;
};
