#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "data/dde/DDECommandClient.h"

// nbdde: sends one DDE transaction to the browser (or any DDE service).
int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string out;
    std::string err;
    const int exit = nimbra::CDDECommandClient::Run(args, out, err);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fwrite(err.data(), 1, err.size(), stderr);
    return exit;
}
