#include "capture/cardlistmodel.h"

#include <algorithm>

int CardListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_devices.size());
}

QVariant CardListModel::data(const QModelIndex& index, int role) const
{
    const DeckLinkDevice* shown = device(index.row());
    if (!shown || index.parent().isValid() || role != Qt::DisplayRole)
        return QVariant();
    return shown->GetDeviceName();
}

void CardListModel::append(ComPtr<DeckLinkDevice> device)
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_devices.push_back(std::move(device));
    endInsertRows();
}

ComPtr<DeckLinkDevice> CardListModel::take(int row)
{
    if (!device(row))
        return {};
    beginRemoveRows(QModelIndex(), row, row);
    ComPtr<DeckLinkDevice> taken = std::move(m_devices[size_t(row)]);
    m_devices.erase(m_devices.begin() + row);
    endRemoveRows();
    return taken;
}

void CardListModel::clear()
{
    beginResetModel();
    // Let go only once the lists no longer show the devices.
    std::vector<ComPtr<DeckLinkDevice>> released = std::move(m_devices);
    m_devices.clear();
    endResetModel();
}

DeckLinkDevice* CardListModel::device(int row) const
{
    return row >= 0 && row < rowCount() ? m_devices[size_t(row)].get() : nullptr;
}

int CardListModel::rowOf(const IDeckLink* card) const
{
    const auto found =
        std::find_if(m_devices.begin(), m_devices.end(),
                     [card](const ComPtr<DeckLinkDevice>& d) { return d->GetDeckLink() == card; });
    return found == m_devices.end() ? -1 : int(found - m_devices.begin());
}

bool CardListModel::anyCapturing() const
{
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const ComPtr<DeckLinkDevice>& d) { return d->IsCapturing(); });
}
