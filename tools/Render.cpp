#include "RenderSupport.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{
    volatile std::sig_atomic_t interrupted = 0;

    void onInterrupt (int) { interrupted = 1; }

    // Drawn on stderr only once a render has run long enough to be worth watching.
    class ProgressBar
    {
    public:
        ~ProgressBar()
        {
            if (lastPercent >= 0)
                std::cerr << "\r" << std::string (width + 8, ' ') << "\r" << std::flush;
        }

        void update (double fractionDone)
        {
            const auto percent = (int) (fractionDone * 100.0);

            if (percent == lastPercent || juce::Time::getMillisecondCounterHiRes() - startMs < 500.0)
                return;

            lastPercent = percent;
            const auto filled = (size_t) percent * width / 100;
            std::cerr << "\r[" << std::string (filled, '#') << std::string (width - filled, ' ') << "] "
                      << percent << "%" << std::flush;
        }

    private:
        static constexpr size_t width = 40;
        const double startMs = juce::Time::getMillisecondCounterHiRes();
        int lastPercent = -1;
    };
}

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juceInitialiser;

    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    juce::String error;
    const auto options = parseArguments (args, error);

    if (error.isNotEmpty())
    {
        std::cerr << "murmex2-render: " << error << std::endl;
        return 2;
    }

    if (options.showHelp)
    {
        std::cout << getHelpText();
        return 0;
    }

    if (options.snapshotFile != juce::File())
    {
        RenderReport report;
        const auto written = writeSnapshot (options, report);

        for (const auto& note : report.notes)
            std::cerr << "murmex2-render: " << note << std::endl;

        if (written.failed())
        {
            std::cerr << "murmex2-render: " << written.getErrorMessage() << std::endl;
            return 1;
        }

        std::cout << "Editor snapshot" << (report.presetName.isNotEmpty() ? " of \"" + report.presetName + "\"" : juce::String())
                  << " written to " << report.outputFile.getFullPathName() << std::endl;
        return 0;
    }

    // Ctrl-C ends the render at the next block, so its temporary file is removed.
    std::signal (SIGINT, onInterrupt);
    std::signal (SIGTERM, onInterrupt);

    RenderReport report;
    auto result = juce::Result::ok();

    {
        ProgressBar bar;
        const bool showProgress = isatty (STDERR_FILENO) != 0;

        result = render (options, report, [&] (double fractionDone)
        {
            if (showProgress)
                bar.update (fractionDone);

            return interrupted == 0;
        });
    }

    for (const auto& note : report.notes)
        std::cerr << "murmex2-render: " << note << std::endl;

    if (result.failed())
    {
        std::cerr << "murmex2-render: " << result.getErrorMessage() << std::endl;
        return 1;
    }

    std::cout << formatReport (report);
    return 0;
}
