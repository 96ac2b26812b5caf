// kestra-sim: the simulated KESTRA as a stand-alone program.
#include "CommandLine.h"
#include "KestraVersion.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const sim::CommandLine cl = sim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (cl.help) {
        std::fputs(sim::HelpText().c_str(), stdout);
        return 0;
    }
    if (cl.version) {
        std::printf("kestra-sim %s\n", KESTRA_VERSION);
        return 0;
    }
    if (!cl.error.empty()) {
        std::fprintf(stderr, "kestra-sim: %s\nTry kestra-sim --help\n", cl.error.c_str());
        return 2;
    }

    // Signals are taken with sigtimedwait below; block them before the
    // serving thread starts so that it inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    sim::SimOptions options = cl.sim;
    options.keepReceived = !cl.receivedFile.empty();
    sim::KestraSim device(options);
    const std::string path = device.Start();
    if (path.empty()) {
        std::fprintf(stderr, "kestra-sim: cannot open %s\n", cl.sim.device.empty() ? "a pseudo-terminal" : cl.sim.device.c_str());
        return 1;
    }
    if (cl.randomSeed) {
        device.RandomiseState(*cl.randomSeed);
    }
    device.SetFault(cl.fault);
    std::printf("KESTRA simulator on %s\n", path.c_str());
    if (!(cl.sim.choices == sim::Choices{})) {
        std::printf("answering as: %s\n", cl.sim.choices.Text().c_str());  // what random:SEED drew
    }
    std::fflush(stdout);

    bool speaking = cl.sim.speech != 0;
    for (;;) {
        timespec wait{1, 0};
        if (cl.speechPeriodMs > 0 && cl.sim.speech != 0) {
            wait = {cl.speechPeriodMs / 1000, (cl.speechPeriodMs % 1000) * 1'000'000L};
        }
        const int sig = sigtimedwait(&signals, nullptr, &wait);
        if (sig == SIGINT || sig == SIGTERM) {
            break;
        }
        if (sig < 0 && cl.speechPeriodMs > 0 && cl.sim.speech != 0) {
            speaking = !speaking;
            device.SetSpeech(speaking ? cl.sim.speech : 0);
        }
    }
    device.Stop();
    if (!cl.receivedFile.empty()) {
        std::FILE* f = std::fopen(cl.receivedFile.c_str(), "w");
        bool ok = f != nullptr;
        for (const auto& frame : device.Received()) {
            std::string line;
            for (const std::uint8_t b : frame) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned>(b));
                line += hex;
            }
            if (!line.empty()) {
                line.pop_back();
            }
            ok = ok && std::fputs((line + '\n').c_str(), f) >= 0;
        }
        if (f && std::fclose(f) != 0) {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kestra-sim: cannot write %s\n", cl.receivedFile.c_str());
            return 1;
        }
    }
    return 0;
}
