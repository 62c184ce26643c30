#include "FactoryPresets.h"
#include "TestSupport.h"

namespace
{
    // A hand-made preset file: one PARAM child per pair, with no "value"
    // attribute where the value is null.
    juce::String presetText (std::initializer_list<std::pair<const char*, const char*>> values, const char* tag = "Murmex2")
    {
        juce::XmlElement xml (tag);

        for (const auto& [id, value] : values)
        {
            auto* param = xml.createNewChildElement ("PARAM");
            param->setAttribute ("id", id);

            if (value != nullptr)
                param->setAttribute ("value", value);
        }

        return xml.toString();
    }

    void writeFile (const juce::File& file, const juce::String& text)
    {
        ASSERT_TRUE (file.getParentDirectory().createDirectory().wasOk());
        ASSERT_TRUE (file.replaceWithText (text));
    }

    juce::StringArray listTree (const juce::File& folder)
    {
        juce::StringArray paths;

        for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, true, "*"))
            paths.add (f.getRelativePathFrom (folder) + (f.isDirectory() ? "/" : " " + juce::String (f.getSize())));

        paths.sort (false);
        return paths;
    }

    juce::StringArray listEntries (const PresetManager& presets)
    {
        juce::StringArray names;

        for (const auto& entry : presets.entries)
            names.add (entry.folder + "/" + entry.name);

        return names;
    }
}

class PresetLibrary : public testing::Test
{
protected:
    Murmex2AudioProcessor& makeProcessor()
    {
        processor = std::make_unique<Murmex2AudioProcessor> (root);
        return *processor;
    }

    PresetManager& presets() { return processor->presetManager; }

    void set (const char* id, float value)
    {
        auto* parameter = processor->apvts.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    float raw (const char* id) const { return processor->apvts.getRawParameterValue (id)->load(); }

    juce::Array<float> liveValues() const
    {
        juce::Array<float> values;

        for (auto* parameter : processor->getParameters())
            values.add (parameter->getValue());

        return values;
    }

    // What a failed call must leave exactly as it was.
    struct Current
    {
        int index;
        juce::String name, folder;
        juce::Array<float> snapshot;
        juce::StringArray entries;

        bool operator== (const Current& other) const
        {
            return std::tie (index, name, folder, snapshot, entries)
                == std::tie (other.index, other.name, other.folder, other.snapshot, other.entries);
        }
    };

    Current current()
    {
        auto& p = presets();
        return { p.currentIndex, p.currentPresetName, p.currentPresetFolder, p.snapshot, listEntries (p) };
    }

    // The root lies inside the sandbox, so that anything written beside it shows.
    TempFolder sandbox;
    juce::File root = sandbox.folder.getChildFile ("Presets");
    std::unique_ptr<Murmex2AudioProcessor> processor;
};

TEST_F (PresetLibrary, ListsFoldersAndPresetsIgnoringCaseWithDigitsFirstAndUnderscoresLast)
{
    for (auto* path : { "User/b", "User/A", "Factory/Zeta", "Factory/alpha", "Factory/_Under", "Factory/9 Nine",
                        "ambient/Wide", "_scratch/x", "2 Tape/y" })
        writeFile (root.getChildFile (path + PresetManager::EXT), {});

    // Neither deeper levels nor other extensions are listed.
    writeFile (root.getChildFile ("Factory/Deeper/Hidden.mrmx"), {});
    writeFile (root.getChildFile ("Factory/notes.txt"), {});
    writeFile (root.getChildFile ("Factory/Zeta.mrmx.bak"), {});

    makeProcessor();

    const juce::StringArray expected { "2 Tape/y", "ambient/Wide", "Factory/9 Nine", "Factory/alpha", "Factory/Zeta",
                                       "Factory/_Under", "User/A", "User/b", "_scratch/x" };
    EXPECT_EQ (listEntries (presets()), expected);

    for (const auto& entry : presets().entries)
        EXPECT_EQ (entry.file, root.getChildFile (entry.folder).getChildFile (entry.name + PresetManager::EXT));

    // A rescan finds the current preset again by exact name and folder.
    const struct { const char* name; const char* folder; int index; } cases[] {
        { "alpha", "Factory", 3 },
        { "alpha", "factory", -1 },
        { "Alpha", "Factory", -1 },
        { "", "", -1 },
    };

    for (const auto& c : cases)
    {
        presets().currentPresetName = c.name;
        presets().currentPresetFolder = c.folder;
        presets().rescan();
        EXPECT_EQ (presets().currentIndex, c.index) << c.folder << "/" << c.name;
    }
}

TEST_F (PresetLibrary, LooseFilesMoveIntoFactoryReplacingTheirNamesakes)
{
    const auto loose = presetText ({ { ParamIDs::volume, "-6" } });
    writeFile (root.getChildFile ("Lead.mrmx"), loose);
    writeFile (root.getChildFile ("Factory/Lead.mrmx"), presetText ({ { ParamIDs::volume, "-40" } }));
    writeFile (root.getChildFile ("readme.txt"), "stays");

    makeProcessor();

    EXPECT_FALSE (root.getChildFile ("Lead.mrmx").exists());
    EXPECT_EQ (root.getChildFile ("Factory/Lead.mrmx").loadFileAsString(), loose);
    EXPECT_TRUE (root.getChildFile ("readme.txt").existsAsFile());
    EXPECT_TRUE (root.getChildFile ("User").isDirectory());

    // The constructor loads the first preset, which is the moved one.
    EXPECT_EQ (listEntries (presets()), juce::StringArray ("Factory/Lead"));
    EXPECT_EQ (presets().currentIndex, 0);
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -6.0f);
}

TEST_F (PresetLibrary, SavedPresetBecomesCurrentUnmodifiedAndLoadsBack)
{
    makeProcessor();
    set (ParamIDs::volume, -12.5f);
    set (ParamIDs::clusterPreset, 4.0f);
    set (ParamIDs::sinSaw, 0.0f);

    const auto result = presets().savePreset ("Bass 1", "User");
    ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();

    const auto file = root.getChildFile ("User/Bass 1.mrmx");
    ASSERT_TRUE (file.existsAsFile());
    ASSERT_TRUE (juce::isPositiveAndBelow (presets().currentIndex, presets().entries.size()));
    EXPECT_EQ (presets().entries[presets().currentIndex].file, file);
    EXPECT_EQ (presets().currentPresetName, "Bass 1");
    EXPECT_EQ (presets().currentPresetFolder, "User");

    EXPECT_EQ (presets().snapshot, liveValues());

    const auto xml = juce::parseXML (file);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "Murmex2");
    EXPECT_EQ (xml->getStringAttribute ("presetName"), "Bass 1");
    EXPECT_EQ (xml->getStringAttribute ("presetFolder"), "User");

    int valuesInFile = 0;

    for (const auto* param : xml->getChildWithTagNameIterator ("PARAM"))
        valuesInFile += param->hasAttribute ("value") ? 1 : 0;

    EXPECT_EQ (valuesInFile, numParameters);

    set (ParamIDs::volume, 0.0f);
    set (ParamIDs::clusterPreset, 0.0f);
    set (ParamIDs::sinSaw, 1.0f);
    presets().loadPresetByIndex (presets().currentIndex);

    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -12.5f);
    EXPECT_FLOAT_EQ (raw (ParamIDs::clusterPreset), 4.0f);
    EXPECT_FLOAT_EQ (raw (ParamIDs::sinSaw), 0.0f);
}

TEST_F (PresetLibrary, EveryAcceptableNameMapsToAFileOfItsOwn)
{
    makeProcessor();

    const juce::String names[] {
        "Bass 1",
        juce::CharPointer_UTF8 ("F\xc3\xb6hn \xe9\xa2\xa8 \xe2\x98\x82"),
        "..dots",
        ".hidden",
        "-- unsaved --",
        "already.mrmx",
        " spaced ",
        "a:b*?\"<>|",
        juce::String::repeatedString (juce::CharPointer_UTF8 ("\xc3\xa9"), 125), // 250 bytes, 255 with the extension
    };

    int saved = 0;

    for (const auto& name : names)
    {
        const auto result = presets().savePreset (name, "User");
        ASSERT_TRUE (result.wasOk()) << name << ": " << result.getErrorMessage();
        ++saved;

        EXPECT_TRUE (root.getChildFile ("User").getChildFile (name + PresetManager::EXT).existsAsFile()) << name;
        EXPECT_EQ (root.getChildFile ("User").getNumberOfChildFiles (juce::File::findFilesAndDirectories), saved) << name;
        EXPECT_EQ (presets().entries[presets().currentIndex].name, name);
    }

    for (const auto& name : names)
    {
        presets().currentPresetName = name;
        presets().currentPresetFolder = "User";
        presets().rescan();
        const auto index = presets().currentIndex;

        presets().currentPresetName = "other";
        presets().loadPresetByIndex (index);
        EXPECT_EQ (presets().currentPresetName, name);
        EXPECT_EQ (presets().currentIndex, index);
    }
}

TEST_F (PresetLibrary, UnsafeNamesAreRefusedWithoutTouchingTheDisk)
{
    makeProcessor();
    ASSERT_TRUE (presets().savePreset ("Keep", "User").wasOk());
    set (ParamIDs::volume, -3.0f);

    const auto before = current();
    const auto files = listTree (sandbox.folder);
    const auto tooLong = juce::String::repeatedString ("x", 251);
    const auto tooLongInUtf8 = juce::String::repeatedString (juce::CharPointer_UTF8 ("\xc3\xa9"), 126);

    const struct { juce::String name, folder; } cases[] {
        { "", "User" }, { "   ", "User" }, { ".", "User" }, { "..", "User" },
        { "a/b", "User" }, { "../../escape", "User" }, { "..\\escape", "User" }, { "/tmp/abs", "User" },
        { "tab\there", "User" }, { "line\nbreak", "User" }, { "del\x7f", "User" }, { juce::String::charToString (0x85), "User" },
        { tooLong, "User" }, { tooLongInUtf8, "User" },
        { "Fine", "" }, { "Fine", " " }, { "Fine", ".." }, { "Fine", "../outside" }, { "Fine", "/tmp" },
        { "Fine", "User/Sub" }, { "Fine", "\x01" }, { "Fine", juce::String::repeatedString ("f", 256) },
    };

    for (const auto& c : cases)
    {
        const auto result = presets().savePreset (c.name, c.folder);
        EXPECT_TRUE (result.failed()) << c.folder << " / " << c.name;
        EXPECT_TRUE (result.getErrorMessage().isNotEmpty());
        EXPECT_TRUE (current() == before) << c.folder << " / " << c.name;
        EXPECT_EQ (listTree (sandbox.folder), files) << c.folder << " / " << c.name;
    }
}

TEST_F (PresetLibrary, FailedSaveIsReportedAndChangesNothing)
{
    makeProcessor();
    ASSERT_TRUE (presets().savePreset ("Keep", "User").wasOk());

    // Root can write anywhere, so these writes fail by what lies in their way.
    writeFile (root.getChildFile ("User/Bass.mrmx/inside.txt"), "in the way");
    writeFile (root.getChildFile ("Blocked"), "not a folder");

    const auto before = current();
    const auto files = listTree (sandbox.folder);

    for (const auto& [name, folder] : { std::pair ("Bass", "User"), std::pair ("Bass", "Blocked") })
    {
        const auto result = presets().savePreset (name, folder);
        EXPECT_TRUE (result.failed()) << folder;
        EXPECT_TRUE (current() == before) << folder;
        EXPECT_EQ (listTree (sandbox.folder), files) << folder;
    }
}

TEST_F (PresetLibrary, UnloadableFilesAreListedButChangeNothing)
{
    writeFile (root.getChildFile ("User/Broken.mrmx"), "<Murmex2><PARAM id=\"Volume\" value=\"-30\"");
    writeFile (root.getChildFile ("User/Empty.mrmx"), {});
    writeFile (root.getChildFile ("User/Foreign.mrmx"), presetText ({ { ParamIDs::volume, "-30" } }, "Other"));

    makeProcessor();
    ASSERT_EQ (presets().entries.size(), 3);
    ASSERT_TRUE (presets().savePreset ("Keep", "User").wasOk());
    set (ParamIDs::volume, -5.0f);

    const auto before = current();

    for (int index : { -1, 0, 1, 2, 4 })
    {
        ASSERT_NE (presets().entries[index].name, "Keep");
        presets().loadPresetByIndex (index);
        EXPECT_TRUE (current() == before) << index;
        EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -5.0f) << index;
    }
}

TEST_F (PresetLibrary, MissingParamKeepsItsValueAndMissingValueGivesTheDefault)
{
    writeFile (root.getChildFile ("User/Sparse.mrmx"),
               presetText ({ { ParamIDs::volume, "-20" }, { ParamIDs::filterDrive, nullptr } }, "murmex2"));
    makeProcessor();

    set (ParamIDs::filterFrequencyFloor, 30.0f);
    set (ParamIDs::filterDrive, 8.0f);
    set (ParamIDs::aButton, 0.0f);
    presets().loadPresetByIndex (0);

    EXPECT_EQ (presets().currentPresetName, "Sparse");
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -20.0f);
    EXPECT_FLOAT_EQ (raw (ParamIDs::filterDrive), 3.0f);
    EXPECT_FLOAT_EQ (raw (ParamIDs::filterFrequencyFloor), 30.0f);
    EXPECT_FLOAT_EQ (raw (ParamIDs::aButton), 0.0f);

    // A root tag that matched only ignoring case is not passed on.
    EXPECT_EQ (processor->apvts.state.getType().toString(), "Murmex2");
}

TEST_F (PresetLibrary, DeletingTheCurrentPresetKeepsTheSound)
{
    makeProcessor();
    ASSERT_TRUE (presets().savePreset ("Other", "User").wasOk());
    set (ParamIDs::volume, -7.0f);
    ASSERT_TRUE (presets().savePreset ("Doomed", "User").wasOk());

    ASSERT_TRUE (presets().deleteCurrentPreset().wasOk());

    EXPECT_FALSE (root.getChildFile ("User/Doomed.mrmx").exists());
    EXPECT_EQ (listEntries (presets()), juce::StringArray ("User/Other"));
    EXPECT_EQ (presets().currentIndex, -1);
    EXPECT_TRUE (presets().currentPresetName.isEmpty());
    EXPECT_TRUE (presets().currentPresetFolder.isEmpty());
    EXPECT_TRUE (presets().snapshot.isEmpty());
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -7.0f);

    EXPECT_TRUE (presets().deleteCurrentPreset().failed());
    EXPECT_TRUE (root.getChildFile ("User/Other.mrmx").existsAsFile());
}

TEST_F (PresetLibrary, ResetForgetsThePresetAndKeepsEveryValue)
{
    makeProcessor();
    set (ParamIDs::volume, -7.0f);
    set (ParamIDs::filterDrive, 8.0f);
    set (ParamIDs::sinSaw, 0.0f);
    ASSERT_TRUE (presets().savePreset ("Current", "User").wasOk());
    const auto values = liveValues();

    presets().resetToUnsaved();

    EXPECT_EQ (liveValues(), values);
    EXPECT_EQ (presets().currentIndex, -1);
    EXPECT_TRUE (presets().currentPresetName.isEmpty());
    EXPECT_TRUE (presets().currentPresetFolder.isEmpty());
    EXPECT_TRUE (presets().snapshot.isEmpty());
    EXPECT_EQ (listEntries (presets()), juce::StringArray ("User/Current"));
}

// The shipped files are the table's rows: regenerate them whenever the table changes.
TEST_F (PresetLibrary, FactoryFilesHoldTheirTableRows)
{
    const auto shipped = juce::File (MURMEX2_SOURCE_DIR).getChildFile ("presets/Factory");
    ASSERT_TRUE (shipped.copyDirectoryTo (root.getChildFile ("Factory")));
    makeProcessor();
    ASSERT_EQ (presets().entries.size(), (int) factoryPresets.size());

    for (const auto& row : factoryPresets)
    {
        int index = 0;

        while (index < presets().entries.size() && presets().entries[index].name != row.name)
            ++index;

        presets().loadPresetByIndex (index);
        ASSERT_EQ (presets().currentPresetName, row.name);

        for (const auto& parameterRow : parameterTable)
        {
            auto expected = parameterRow.defaultValue;

            for (const auto& [id, value] : row.settings)
                if (juce::String (id) == parameterRow.id)
                    expected = value;

            EXPECT_NEAR (raw (parameterRow.id), expected, 0.5f * parameterRow.step) << row.name << ": " << parameterRow.id;
        }
    }
}
