#pragma once

#include <QHash>
#include <QKeySequence>
#include <QString>
#include <QStringList>
#include <QVector>

class MainWindow;
class QAction;
class QMenu;
class QWidget;

// The workbench's vocabulary of actions and where each edition places them.
// MainWindow creates the actions from this table in order and connects each
// to its slot through the member pointer of the entry.
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
        void (MainWindow::*triggered)(); // the slot of triggered(), or nullptr
        void (MainWindow::*toggled)(bool); // the slot of toggled(bool), or nullptr
        bool checkable;
        bool enabled;
        // False for an action in no menu or tool bar: it stays, hidden, so
        // that lookups by its text keep working.
        bool offered = true;
    };

    // A menu or tool bar: its title and entries by action text; "-" is a separator.
    struct Bar
    {
        const char* title;
        QStringList entries;
    };

    static const QVector<Entry>& actions();
    // The action of an entry, a child of receiver and connected to its slot.
    static QAction* create(const Entry& entry, MainWindow* receiver);
    // Fills a menu or tool bar with the actions of its entries; returns the
    // bookmark submenu when the entries made one.
    static QMenu* fill(QWidget* bar, const QStringList& entries, const QHash<QString, QAction*>& actions);
    static QVector<Bar> menus(Edition edition);
    static QVector<Bar> toolBars(Edition edition);

    static constexpr const char* viewMenu = "&View";
    static constexpr const char* bookmarkMenu = "&recent bookmarks";
    static constexpr const char* separator = "-";
};
