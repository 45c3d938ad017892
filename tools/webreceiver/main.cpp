// zorvel-webreceiver: a local web receiver for the demo and the tests (see README.md).
#include "Options.h"
#include "ReceiverServer.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const zorvel::web::ParsedOptions parsed = zorvel::web::parseOptions(app.arguments());
    if (parsed.help) {
        std::fputs(qPrintable(parsed.helpText), stdout);
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "zorvel-webreceiver: %s\n", qPrintable(parsed.error));
        return 2;
    }
    zorvel::web::ReceiverServer server(parsed.options);
    if (const QString error = server.start(); !error.isEmpty()) {
        std::fprintf(stderr, "zorvel-webreceiver: %s\n", qPrintable(error));
        return 1;
    }
    // Tests read the port from this first line, so it must go out at once.
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
