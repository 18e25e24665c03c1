#pragma once

#include <QHash>
#include <QKeySequence>
#include <QString>
#include <QStringList>
#include <QVector>

class QAction;
class QMenu;
class QObject;
class QWidget;

// The workbench's vocabulary of actions and where each edition places them.
// MainWindow creates the actions from this table in order and connects each
// to its slot by name.
class ActionTable
{
public:
    enum class Edition { Tessary, Orvalis };

    struct Entry
    {
        const char* text;
        const char* icon;       // resource path as written, or nullptr for no icon
        const char* shortcut;   // key sequence text, or nullptr
        QKeySequence::StandardKey standardKey; // used when shortcut is nullptr
        const char* statusTip;
        const char* slot;       // slot signature on MainWindow, or nullptr
        bool toggled;           // connect toggled(bool) instead of triggered()
        bool checkable;
        bool enabled;
    };

    // A menu or tool bar: its title and entries by action text; "-" is a separator.
    struct Bar
    {
        const char* title;
        QStringList entries;
    };

    static const QVector<Entry>& actions();
    // The action of an entry, a child of receiver and connected to its slot.
    static QAction* create(const Entry& entry, QObject* receiver);
    // Fills a menu or tool bar with the actions of its entries; returns the
    // bookmark submenu when the entries made one.
    static QMenu* fill(QWidget* bar, const QStringList& entries, const QHash<QString, QAction*>& actions);
    static QVector<Bar> menus(Edition edition);
    static QVector<Bar> toolBars(Edition edition);

    static constexpr const char* viewMenu = "&View";
    static constexpr const char* bookmarkMenu = "&recent bookmarks";
    static constexpr const char* separator = "-";
};
