// 悦丰选网购助手: start-up.
#include "app/CLumbra2App.h"

int main(int argc, char** argv)
{
    CLumbra2App app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.exec();
}
