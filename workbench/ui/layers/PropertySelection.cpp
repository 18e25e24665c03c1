#include "ui/layers/PropertySelection.h"

PropertySelection& PropertySelection::global()
{
    static PropertySelection selection;
    return selection;
}
