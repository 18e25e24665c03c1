#pragma once

#include <QMainWindow>

struct PropertySelection;

// The small window the layers' "properties" entries open: what a layer is
// (file, type, figures), a position form for point clouds and a tabbed sheet
// for reconstructions, built for the kind of the program's property
// selection. The forms only display; closing hides the window.
class PropertyWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PropertyWindow(QWidget* parent = nullptr);

    // Rebuilds the form for the current selection; a new central widget
    // replaces the previous one (none for kind 0).
    void refresh();
    void refresh(const PropertySelection& selection);

    // Survey coordinates as the forms write them: enough digits to give the
    // same value back, in the C locale.
    static QString number(double value);

private:
    // The layer's file, type and figures, under its X, Y, Z position when
    // positionLabel is given, with a "Close" button.
    QWidget* layerForm(const QString& positionLabel, const PropertySelection& selection);
    QWidget* reconstructionSheet(const PropertySelection& selection);
};
