// makeprofile FILE NAME ADDRESS USER PASSWORD
//
// Writes FILE as a profile file that holds this one profile, default and active, through
// the program's own SaveProfiles. An empty USER makes an anonymous profile.
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "profiles/profilefile.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: makeprofile FILE NAME ADDRESS USER PASSWORD\n");
        return 2;
    }
    // No window is ever shown; the application object only lends its shared state.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    CVantorApp app(argc, argv);
    // A message box would wait for a user who is not there: print it instead.
    CScopedMessageBoxHandler toStderr([](const MessageBoxRequest& request) {
        std::fprintf(stderr, "makeprofile: %s\n", qPrintable(request.text));
        return MsgAnswer::Ok;
    });

    ProfileRecord profile;
    profile.name = QString::fromLocal8Bit(argv[2]);
    profile.address = QString::fromLocal8Bit(argv[3]);
    profile.userId = QString::fromLocal8Bit(argv[4]);
    profile.password = QString::fromLocal8Bit(argv[5]);
    profile.anonymous = profile.userId.isEmpty();
    profile.isDefault = true;
    profile.isActive = true;
    theApp().profileFileReserved = 0;
    return SaveProfiles(QString::fromLocal8Bit(argv[1]), {profile}) ? 0 : 1;
}
