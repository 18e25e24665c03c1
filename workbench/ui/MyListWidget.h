#pragma once

#include <QHash>
#include <QListWidget>

// The list of the project's photographs in the "Images View" dock. Behind the
// rows it keeps which full path each displayed name stands for.
class MyListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit MyListWidget(QWidget* parent = nullptr);

    // Adds a row showing displayName for the image at fullPath.
    void addImage(const QString& fullPath, const QString& displayName);
    // Removes every row and every remembered path.
    void clearImages();
    QString fullPath(const QString& displayName) const { return m_paths.value(displayName); }

signals:
    void updateDeteleItem();

private:
    QHash<QString, QString> m_paths; // display name -> full path
};
