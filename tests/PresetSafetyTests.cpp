#include "TestSupport.h"

#include <clocale>
#include <csignal>
#include <locale>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
    void set (Murmex2AudioProcessor& p, const char* id, float value)
    {
        auto* parameter = p.apvts.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    // Values whose text needs a decimal point.
    void setFractions (Murmex2AudioProcessor& p)
    {
        set (p, ParamIDs::volume, -3.25f);
        set (p, ParamIDs::filterResonance, 0.123f);
        set (p, ParamIDs::pitchFloor, -17.5f);
        set (p, ParamIDs::attack, 0.007f);
    }

    std::vector<float> valuesOf (Murmex2AudioProcessor& p)
    {
        std::vector<float> values;

        for (const auto& parameterRow : parameterTable)
            values.push_back (p.apvts.getRawParameterValue (parameterRow.id)->load());

        return values;
    }

    // Switches the C and C++ locales of the whole process, and back on every way out.
    struct ScopedProcessLocale
    {
        ScopedProcessLocale (const juce::File& folder, const char* name)
        {
            setenv ("LOCPATH", folder.getFullPathName().toRawUTF8(), 1);
            ok = std::setlocale (LC_ALL, name) != nullptr;

            if (ok)
                previous = std::locale::global (std::locale (name));
        }

        ~ScopedProcessLocale()
        {
            std::locale::global (previous);
            std::setlocale (LC_ALL, "C");
            unsetenv ("LOCPATH");
        }

        bool ok = false;
        std::locale previous = std::locale::classic();
    };

    // A German locale compiled into the sandbox, so the test needs none installed.
    bool makeDecimalCommaLocale (const juce::File& folder)
    {
        juce::ChildProcess localedef;
        const auto target = folder.getChildFile ("de_DE.UTF-8");

        return folder.createDirectory()
            && localedef.start (juce::StringArray { "localedef", "-i", "de_DE", "-f", "UTF-8", target.getFullPathName() })
            && localedef.waitForProcessToFinish (60000)
            && target.isDirectory();
    }
}

// The save writes beside the file and renames, so a process killed at any
// moment leaves the old file or the new one, complete, and lists no leftover.
TEST (PresetSafety, SaveKilledAtAnyMomentLeavesACompleteFile)
{
    TempFolder sandbox;
    Murmex2AudioProcessor processor (sandbox.folder);
    auto& presets = processor.presetManager;
    ASSERT_TRUE (presets.savePreset ("Keep", "User").wasOk());

    const auto file = sandbox.folder.getChildFile ("User/Keep.mrmx");
    juce::Random random (7);
    int cutShort = 0;

    for (int round = 0; round < 40; ++round)
    {
        const auto child = fork();
        ASSERT_GE (child, 0);

        if (child == 0)
        {
            for (int i = 0;; ++i)
            {
                set (processor, ParamIDs::volume, (float) (i % 60) - 50.0f);
                presets.savePreset ("Keep", "User");
            }
        }

        usleep ((useconds_t) random.nextInt (30000));
        kill (child, SIGKILL);
        waitpid (child, nullptr, 0);

        const auto xml = juce::parseXML (file);
        ASSERT_NE (xml, nullptr) << "round " << round;
        EXPECT_TRUE (xml->hasTagName ("Murmex2")) << "round " << round;
        EXPECT_EQ (xml->getNumChildElements(), numParameters) << "round " << round;

        presets.rescan();
        ASSERT_EQ (presets.entries.size(), 1) << "round " << round;
        EXPECT_EQ (presets.entries[0].name, "Keep");

        // A temporary file left behind shows the kill came in the middle of a save.
        const auto leftovers = file.getParentDirectory().findChildFiles (juce::File::findFiles, false, ".saving*");
        cutShort += leftovers.isEmpty() ? 0 : 1;

        for (const auto& f : leftovers)
            f.deleteFile();
    }

    EXPECT_GT (cutShort, 0) << "no kill landed inside a save";
}

// A host that switches the process to a decimal-comma locale must not change
// a single byte of what is written, nor how it reads back.
TEST (PresetSafety, DecimalCommaLocaleWritesAndReadsTheSameFiles)
{
    TempFolder sandbox;
    const auto locales = sandbox.folder.getChildFile ("locales");

    if (! makeDecimalCommaLocale (locales))
        GTEST_SKIP() << "localedef could not build de_DE.UTF-8";

    const auto root = sandbox.folder.getChildFile ("Presets");
    Murmex2AudioProcessor processor (root);
    auto& presets = processor.presetManager;
    setFractions (processor);

    const auto file = root.getChildFile ("User/Same.mrmx");
    ASSERT_TRUE (presets.savePreset ("Same", "User").wasOk());
    const auto writtenInC = file.loadFileAsString();
    juce::MemoryBlock stateInC;
    processor.getStateInformation (stateInC);
    const auto expected = valuesOf (processor);

    juce::String writtenInGerman;
    juce::MemoryBlock stateInGerman;
    std::vector<float> readInGerman;

    {
        const ScopedProcessLocale german (locales, "de_DE.UTF-8");
        ASSERT_TRUE (german.ok);
        ASSERT_STREQ (std::localeconv()->decimal_point, ",");

        ASSERT_TRUE (presets.savePreset ("Same", "User").wasOk());
        writtenInGerman = file.loadFileAsString();
        processor.getStateInformation (stateInGerman);

        presets.resetToUnsaved();
        set (processor, ParamIDs::volume, 0.0f);
        presets.rescan();
        presets.loadPresetByIndex (0);
        readInGerman = valuesOf (processor);
    }

    EXPECT_EQ (writtenInGerman, writtenInC);
    EXPECT_TRUE (stateInGerman == stateInC);
    EXPECT_EQ (readInGerman, expected);
}

// Our locale-proof number text is JUCE's own, digit for digit, in the C locale:
// files written before and after read and compare the same.
TEST (PresetSafety, NumbersAreWrittenAsJuceWritesThemInTheCLocale)
{
    std::vector<double> values { 0.0, -0.0, 1.0, -72.0, 127.0, 0.5, 0.8f, 0.98f, 1.0e-5, 2.5e-6, 1.0e6, 3.0e7,
                                 1234.5678, 99999.5, 0.00999, 0.0001234, -17.5, 0.007f, 1.0e-300, 1.0e300 };
    juce::Random random (20261211);

    for (int i = 0; i < 20000; ++i)
        values.push_back ((double) (float) ((random.nextDouble() - 0.5) * std::pow (10.0, random.nextInt ({ -8, 8 }))));

    for (const auto value : values)
        ASSERT_EQ (PresetManager::serialiseNumber (value), juce::var (value).toString()) << value;
}
