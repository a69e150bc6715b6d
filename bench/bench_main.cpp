// Runs the benchmarks: all of them, or those named as arguments.
#include "bench/bench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace qv::bench {

namespace {
std::vector<std::pair<QString, BenchFunction>>& registry() {
    static std::vector<std::pair<QString, BenchFunction>> all;
    return all;
}
} // namespace

Benchmark::Benchmark(const char* name, BenchFunction run) {
    registry().emplace_back(QString::fromUtf8(name), run);
}

void report(const QString& what, qint64 programNs, qint64 plainNs) {
    const double ratio = plainNs > 0 ? double(programNs) / double(plainNs) : 0.0;
    std::printf("%-58s %12.3f ms %12.3f ms %8.2fx\n", what.toUtf8().constData(), programNs / 1e6,
                plainNs / 1e6, ratio);
    std::fflush(stdout);
}

qint64 median(std::vector<qint64> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qint64 medianOfRounds(int rounds, const std::function<void()>& work) {
    std::vector<qint64> times;
    QElapsedTimer t;
    for (int round = 0; round < rounds; ++round) {
        t.restart();
        work();
        times.push_back(t.nsecsElapsed());
    }
    return median(times);
}

double memoryMb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray wanted(key);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(wanted))
            return line.mid(wanted.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

} // namespace qv::bench

namespace {
QtMessageHandler standardHandler = nullptr;
// The offscreen platform's notes that it cannot raise a window are no news here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
}
} // namespace

int main(int argc, char** argv) {
    standardHandler = qInstallMessageHandler(quietHandler);
    // The card's widgets need a GUI application; nothing is shown, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList wanted = app.arguments().mid(1);
    // Tools for the start-up benchmark of the real program (bench/startup.sh), also handy to
    // try the program at scale by hand.
    if (wanted.value(0) == QLatin1String("generate") && wanted.size() == 3) {
        qv::bench::makeProgramFolder(wanted[2], wanted[1].toInt());
        return 0;
    }
    if (wanted.value(0) == QLatin1String("startup") && wanted.size() == 2) {
        qv::bench::startUpIn(wanted[1]);
        return 0;
    }
    if (wanted.value(0) == QLatin1String("actions") && wanted.size() == 2) {
        qv::bench::cardActionsOn(wanted[1]);
        return 0;
    }
    if (wanted.value(0) == QLatin1String("plain") && wanted.size() == 2) {
        std::printf("%lld\n", static_cast<long long>(qv::bench::plainRecallRead(wanted[1])));
        return 0;
    }
    std::printf("%-58s %15s %15s %9s\n", "work", "program", "plain SQLite", "ratio");
    int ran = 0;
    for (const auto& [name, run] : qv::bench::registry()) {
        if (!wanted.isEmpty() && !wanted.contains(name))
            continue;
        std::printf("== %s\n", name.toUtf8().constData());
        run();
        ++ran;
    }
    if (ran == 0) {
        std::fprintf(stderr, "no benchmark named");
        for (const QString& w : wanted)
            std::fprintf(stderr, " %s", w.toUtf8().constData());
        std::fprintf(stderr, "\n");
        return 1;
    }
    return 0;
}
