// Filter lists of RULES generated rules (50,000): the time from the read's
// start until its rules are in use, read off the user-interface thread as
// the browser does it, with the longest stall of that thread meanwhile;
// then the mean time to decide one request, against a plain scan of the
// same list for the literal text of each rule. Five runs each; prints
// medians and ranges:
//   QT_QPA_PLATFORM=offscreen build/bench/filter_program [RULES]
#include "data/filters/FilterCommands.h"
#include "platform/StallMeter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace nimbra;

namespace {

std::string Word(std::mt19937& random, int letters)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string word;
    for (int i = 0; i < letters; ++i)
        word += kLetters[random() % 36];
    return word;
}

// A mix like that of published lists: host rules with options, path rules
// with stars, exceptions, hiding rules and one regular expression in a
// thousand (those are tried for every request).
std::vector<std::string> MakeRules(int count, std::mt19937& random)
{
    std::vector<std::string> rules;
    for (int i = 0; i < count; ++i) {
        switch (i % 10) {
        case 0:
        case 1:
        case 2:
        case 3:
            rules.push_back("||" + Word(random, 6 + i % 5) + "." + Word(random, 3) + ".com^");
            break;
        case 4:
            rules.push_back("||" + Word(random, 8) + ".net^$third-party,script");
            break;
        case 5:
        case 6:
            rules.push_back("/" + Word(random, 5) + "/*/" + Word(random, 6) + ".");
            break;
        case 7:
            rules.push_back("-" + Word(random, 7) + "-ad.$image,domain=" + Word(random, 6) + ".org|~"
                            + Word(random, 5) + ".org");
            break;
        case 8:
            rules.push_back(i % 1000 == 8 ? "/" + Word(random, 6) + "[0-9]{2}\\.js/"
                                         : "@@||" + Word(random, 7) + ".com/" + Word(random, 5) + "^");
            break;
        default:
            rules.push_back(Word(random, 6) + ".com##." + Word(random, 8));
            break;
        }
    }
    return rules;
}

// The literal text of a rule, for the scan that stands for no index.
std::string Literal(std::string rule)
{
    if (const size_t dollar = rule.rfind('$'); dollar != std::string::npos)
        rule.resize(dollar);
    rule.erase(std::remove_if(rule.begin(), rule.end(), [](char c) { return c == '|' || c == '^' || c == '@'; }),
               rule.end());
    const size_t star = rule.find('*');
    return star == std::string::npos ? rule : rule.substr(0, star);
}

struct SStats {
    double median, low, high;
};

SStats Summary(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50000;
    std::mt19937 random(7);
    const std::vector<std::string> rules = MakeRules(count, random);
    QTemporaryDir dir;
    const std::string listPath = dir.path().toStdString() + "/list.txt";
    {
        std::ofstream out(listPath, std::ios::binary);
        out << "[Adblock Plus 2.0]\n! generated\n";
        for (const std::string& rule : rules)
            out << rule << "\n";
    }
    const std::string iniPath = dir.path().toStdString() + "/filters.ini";
    WriteFilterListsFile(iniPath, {{listPath, true}});

    std::vector<double> loadMs, stallMs;
    CFilterCommands commands(iniPath, nullptr);
    for (int run = 0; run < 5; ++run) {
        CStallMeter meter;
        meter.Start();
        QEventLoop loop;
        QObject::connect(&commands, &CFilterCommands::Loaded, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        commands.Reload();
        loop.exec();
        loadMs.push_back(timer.nsecsElapsed() / 1e6);
        stallMs.push_back(meter.LongestMs());
    }
    const auto engine = commands.Engine();
    if (!engine)
        return 1;
    std::printf("rules %zu network, %zu hiding, %zu lines skipped\n", engine->NetworkCount(), engine->HidingCount(),
                commands.Counts().front().skipped);

    // Requests: most go to hosts of no rule, some hit a host or path rule.
    std::vector<std::string> urls, hosts;
    for (int i = 0; i < 2000; ++i) {
        std::string url;
        if (i % 10 == 0) {
            const std::string& rule = rules[size_t(i) % rules.size()]; // a host rule (i and the count are multiples of 10)
            url = "https://" + rule.substr(2, rule.size() - 3) + "/x/" + Word(random, 6) + ".js";
        } else {
            url = "https://www." + Word(random, 8) + ".com/static/" + Word(random, 10) + "/" + Word(random, 6)
                  + ".png?v=" + Word(random, 12);
        }
        const size_t begin = url.find("://") + 3;
        hosts.push_back(url.substr(begin, url.find('/', begin) - begin));
        urls.push_back(std::move(url));
    }
    std::vector<std::string> literals;
    for (const std::string& rule : rules)
        if (rule.find("##") == std::string::npos)
            literals.push_back(Literal(rule));

    std::vector<double> indexedUs, scanUs;
    size_t blocked = 0, found = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (size_t i = 0; i < urls.size(); ++i)
            blocked += engine->Blocks({urls[i], hosts[i], "www.example.org", ERequestType::Script});
        indexedUs.push_back(timer.nsecsElapsed() / 1e3 / double(urls.size()));
        timer.start();
        // A tenth of the requests, none of them a hit: a scan goes through
        // the whole list for most requests.
        for (size_t i = 5; i < urls.size(); i += 10)
            for (const std::string& literal : literals)
                if (urls[i].find(literal) != std::string::npos) {
                    ++found;
                    break;
                }
        scanUs.push_back(timer.nsecsElapsed() / 1e3 / double(urls.size() / 10));
    }
    const SStats load = Summary(loadMs), stall = Summary(stallMs), indexed = Summary(indexedUs),
                 scan = Summary(scanUs);
    std::printf("load %d rules off the UI thread: median %.1f ms (%.1f-%.1f)\n", count, load.median, load.low,
                load.high);
    std::printf("longest UI stall while loading: median %.1f ms (%.1f-%.1f)\n", stall.median, stall.low, stall.high);
    std::printf("match one request, indexed: median %.2f us (%.2f-%.2f)\n", indexed.median, indexed.low,
                indexed.high);
    std::printf("match one request, substring scan: median %.2f us (%.2f-%.2f)\n", scan.median, scan.low, scan.high);
    std::printf("(%zu blocked, %zu scan hits)\n", blocked / 5, found / 5);
    return 0;
}
