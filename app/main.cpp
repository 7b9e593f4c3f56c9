// Quorvane: smoothed reference curves from compilations of age, value and uncertainty.
#include "app/main_window.h"
#include "data/dm_sea.h"
#include "platform/ui/application.h"

int main(int argc, char** argv)
{
    quorvane::ui::Application app(argc, argv);
    quorvane::app::TfmMain main;
    quorvane::data::TdmSea dm;
    quorvane::data::setDmSea(&dm);
    main.show();
    const int rc = app.exec();
    quorvane::data::setDmSea(nullptr);
    return rc;
}
