#pragma once

#include <QApplication>
#include <QDockWidget>
#include <QMenu>
#include <QStandardItem>
#include <QTimer>
#include <QTreeView>

#include "ui/main/MainWindow.h"

// Opens a layer tree item's context menu as a right click does and picks the
// entry of that text; false when the menu has none.
inline bool chooseInLayerMenu(MainWindow& w, QStandardItem* item, const QString& entry)
{
    w.dock("Layers View")->raise();
    w.layerView()->expandAll();
    w.layerView()->setCurrentIndex(item->index());
    QApplication::processEvents();
    bool chosen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll.stop();
        for (QAction* a : menu->actions())
            if (a->text() == entry) {
                menu->close();
                a->trigger();
                chosen = true;
                return;
            }
        menu->close();
    });
    poll.start(10);
    w.showContextMenuForDirectory(w.layerView()->visualRect(item->index()).center());
    return chosen;
}
