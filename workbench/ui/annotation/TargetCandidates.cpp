#include "ui/annotation/TargetCandidates.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/annotation/ToolButtonRow.h"

TargetCandidates::TargetCandidates(QWidget* parent)
    : QWidget(parent), m_list(new QTreeWidget(this)), m_count(new QLabel(this))
{
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({tr("Point"), tr("Photo"), tr("Column"), tr("Row"), tr("Target")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMinimumHeight(4 * m_list->fontMetrics().height() + m_list->header()->sizeHint().height());

    auto* tools = new ToolButtonRow(this);
    m_find = tools->addButton(tr("Find Targets"));
    m_find->setStatusTip(tr("Look for the points' checker targets where the georeferenced reconstruction "
                            "puts them in each photo"));
    m_stop = tools->addButton(tr("Stop"));
    m_stop->setStatusTip(tr("Stop the search for targets; what it found so far is not offered"));
    m_stop->setEnabled(false);
    m_acceptAll = tools->addButton(tr("Accept All"));
    m_acceptAll->setStatusTip(
        tr("Take every found target as its point's observation; marks made by hand stay"));
    m_accept = tools->addButton(tr("Accept"));
    m_accept->setStatusTip(
        tr("Take the selected target as its point's observation, also over a mark made by hand"));
    m_reject = tools->addButton(tr("Reject"));
    m_reject->setStatusTip(tr("Leave the selected target out"));
    tools->addWidget(m_count, 1);
    // The same choices on the selected row's context menu.
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_list->addAction(m_accept);
    m_list->addAction(m_reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(tools);
    layout->addWidget(m_list);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &TargetCandidates::updateActions);
    setEntries({});
}

QString TargetCandidates::stateText(const Entry& entry)
{
    switch (entry.state) {
    case State::Candidate:
        return tr("found (%1)").arg(entry.score, 0, 'f', 2);
    case State::HandMarked:
        return tr("found, marked by hand already (%1)").arg(entry.score, 0, 'f', 2);
    case State::Accepted:
        return tr("accepted");
    case State::Rejected:
        return tr("rejected: %1").arg(entry.reason);
    case State::Refused:
        return tr("not found: %1").arg(entry.reason);
    }
    return QString();
}

void TargetCandidates::setEntries(const QVector<Entry>& entries)
{
    const int current = currentEntry();
    m_entries = entries;
    m_list->clear();
    int found = 0, marked = 0, accepted = 0, rejected = 0, refused = 0;
    for (const Entry& e : entries) {
        auto* item = new QTreeWidgetItem(m_list, {e.point, e.image, QString::number(e.column, 'f', 2),
                                                  QString::number(e.row, 'f', 2), stateText(e)});
        item->setToolTip(Status, stateText(e));
        if (e.state == State::Refused || e.state == State::Rejected)
            for (int c = 0; c < ColumnCount; ++c)
                item->setForeground(c, palette().brush(QPalette::Disabled, QPalette::Text));
        found += e.state == State::Candidate ? 1 : 0;
        marked += e.state == State::HandMarked ? 1 : 0;
        accepted += e.state == State::Accepted ? 1 : 0;
        rejected += e.state == State::Rejected ? 1 : 0;
        refused += e.state == State::Refused ? 1 : 0;
    }
    if (current >= 0 && current < m_list->topLevelItemCount())
        m_list->setCurrentItem(m_list->topLevelItem(current));
    m_counts = entries.isEmpty()
                   ? QString()
                   : tr("%1 found, %2 marked by hand already, %3 accepted, %4 rejected, %5 not found")
                         .arg(found)
                         .arg(marked)
                         .arg(accepted)
                         .arg(rejected)
                         .arg(refused);
    m_count->setText(m_counts);
    updateActions();
}

int TargetCandidates::currentEntry() const
{
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(item) : -1;
}

void TargetCandidates::setProgress(const QString& text)
{
    m_count->setText(text.isEmpty() ? m_counts : text);
}

void TargetCandidates::updateActions()
{
    bool waiting = false;
    for (const Entry& e : qAsConst(m_entries))
        waiting = waiting || e.state == State::Candidate;
    m_acceptAll->setEnabled(waiting);
    const int i = currentEntry();
    const bool open = i >= 0 && i < m_entries.size() &&
                      (m_entries[i].state == State::Candidate || m_entries[i].state == State::HandMarked);
    m_accept->setEnabled(open);
    m_reject->setEnabled(open);
}
