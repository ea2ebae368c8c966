#include "app/vantorapp.h"

int main(int argc, char** argv)
{
    CVantorApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    const int code = CVantorApp::exec();
    return app.ExitInstance(code);
}
