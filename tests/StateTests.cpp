#include "TestSupport.h"

#include <cstdlib>
#include <functional>
#include <iostream>

namespace
{
    float raw (Murmex2AudioProcessor& p, const char* id) { return p.apvts.getRawParameterValue (id)->load(); }

    void set (Murmex2AudioProcessor& p, const char* id, float value)
    {
        auto* parameter = p.apvts.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    // A value inside every range that differs from every default.
    void setAllAwayFromDefaults (Murmex2AudioProcessor& p)
    {
        for (const auto& parameterRow : parameterTable)
            set (p, parameterRow.id, parameterRow.kind == ParamKind::toggle ? 1.0f - parameterRow.defaultValue
                                                            : parameterRow.minimum + 0.77f * (parameterRow.maximum - parameterRow.minimum));
    }

    void expectSameValues (Murmex2AudioProcessor& expected, Murmex2AudioProcessor& actual)
    {
        for (const auto& parameterRow : parameterTable)
            EXPECT_EQ (raw (actual, parameterRow.id), raw (expected, parameterRow.id)) << parameterRow.id;
    }

    // Returns the first parameter whose raw value is non-finite or out of range.
    juce::String findBadValue (Murmex2AudioProcessor& p)
    {
        for (const auto& parameterRow : parameterTable)
            if (const auto v = raw (p, parameterRow.id); ! (std::isfinite (v) && v >= parameterRow.minimum && v <= parameterRow.maximum))
                return parameterRow.id + juce::String (" = ") + juce::String (v);

        return {};
    }

    juce::MemoryBlock stateOf (Murmex2AudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    void restore (Murmex2AudioProcessor& p, const juce::MemoryBlock& block)
    {
        p.setStateInformation (block.getData(), (int) block.getSize());
    }

    juce::MemoryBlock pack (const juce::XmlElement& xml)
    {
        juce::MemoryBlock block;
        juce::AudioProcessor::copyXmlToBinary (xml, block);
        return block;
    }

    // The packed block format written by hand, so that its header can lie.
    juce::MemoryBlock packText (const std::string& text, int length, juce::uint32 magic = 0x21324356)
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt ((int) magic);
        out.writeInt (length);
        out.write (text.data(), text.size());
        out.writeByte (0);
        return block;
    }

    std::string textOf (const juce::MemoryBlock& block)
    {
        return { static_cast<const char*> (block.getData()) + 8, block.getSize() - 9 };
    }

    std::unique_ptr<juce::XmlElement> stateXmlOf (Murmex2AudioProcessor& p)
    {
        const auto block = stateOf (p);
        return juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
    }

    // Sets the value of the child with that id, or of every child with an id.
    void setParamText (juce::XmlElement& xml, const juce::String& id, const juce::String& value)
    {
        for (auto* param : xml.getChildIterator())
            if (param->hasAttribute ("id") && (id.isEmpty() || param->getStringAttribute ("id") == id))
                param->setAttribute ("value", value);
    }

    void removeSnapshots (juce::XmlElement& xml)
    {
        while (auto* snapshot = xml.getChildByName ("PresetSnapshot"))
            xml.removeChildElement (snapshot, true);
    }

    juce::XmlElement* addSnapshot (juce::XmlElement& xml, std::initializer_list<int> indices, double value, const char* tag = "PresetSnapshot")
    {
        auto* snapshot = xml.createNewChildElement (tag);

        for (int i : indices)
            snapshot->setAttribute ("p" + juce::String (i), value);

        return snapshot;
    }
}

// Every instance starts on the library's one preset, "Init Pad" in "Factory".
class StateTest : public testing::Test
{
protected:
    StateTest()
    {
        Murmex2AudioProcessor author (root);
        set (author, ParamIDs::volume, -9.0f);
        set (author, ParamIDs::clusterPreset, 2.0f);
        EXPECT_TRUE (author.presetManager.savePreset ("Init Pad", "Factory").wasOk());
    }

    std::unique_ptr<Murmex2AudioProcessor> makeProcessor() const
    {
        return std::make_unique<Murmex2AudioProcessor> (root);
    }

    struct Current
    {
        int index;
        juce::String name, folder;
        juce::Array<float> snapshot;

        bool operator== (const Current& other) const
        {
            return std::tie (index, name, folder, snapshot) == std::tie (other.index, other.name, other.folder, other.snapshot);
        }
    };

    static Current current (const Murmex2AudioProcessor& p)
    {
        const auto& m = p.presetManager;
        return { m.currentIndex, m.currentPresetName, m.currentPresetFolder, m.snapshot };
    }

    TempFolder sandbox;
    juce::File root = sandbox.folder.getChildFile ("Presets");
};

TEST_F (StateTest, AnotherInstanceRestoresEveryValueAndThePresetAndSavesTheSameBytes)
{
    const auto a = makeProcessor();
    ASSERT_EQ (a->presetManager.currentPresetName, "Init Pad");
    setAllAwayFromDefaults (*a);
    const auto block = stateOf (*a);

    const auto b = makeProcessor();
    set (*b, ParamIDs::volume, 5.0f);
    b->presetManager.snapshot.clear();
    restore (*b, block);

    expectSameValues (*a, *b);
    EXPECT_TRUE (current (*b) == current (*a));
    EXPECT_EQ (b->presetManager.currentIndex, 0);

    // What a restore carries over in the tree is not written twice.
    EXPECT_EQ (stateOf (*b), block);
}

TEST_F (StateTest, StateAfterAReplacedTreeCarriesEveryValue)
{
    // A preset without most parameters, and one parameter without a value.
    juce::XmlElement sparse ("Murmex2");
    auto* volume = sparse.createNewChildElement ("PARAM");
    volume->setAttribute ("id", ParamIDs::volume);
    volume->setAttribute ("value", -20.0);
    sparse.createNewChildElement ("PARAM")->setAttribute ("id", ParamIDs::filterDrive);
    ASSERT_TRUE (sparse.writeTo (root.getChildFile ("User/Sparse.mrmx")));

    const struct
    {
        const char* action;
        std::function<void (PresetManager&)> apply;
        const char* name;
        const char* folder;
    } cases[] {
        // The second load finds Filter Drive at the default already.
        { "sparse preset", [] (PresetManager& m) { m.loadPresetByIndex (1); m.loadPresetByIndex (1); }, "Sparse", "User" },
        { "reset", [] (PresetManager& m) { m.resetToUnsaved(); }, "-- unsaved --", "" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.action);
        const auto a = makeProcessor();
        setAllAwayFromDefaults (*a);
        c.apply (a->presetManager);

        const auto xml = stateXmlOf (*a);
        ASSERT_NE (xml, nullptr);
        EXPECT_EQ (xml->getStringAttribute ("currentPresetName"), c.name);
        EXPECT_EQ (xml->getStringAttribute ("currentPresetFolder"), c.folder);

        const auto* snapshot = xml->getChildByName ("PresetSnapshot");
        const auto& expectedSnapshot = a->presetManager.snapshot;
        ASSERT_EQ (snapshot != nullptr, ! expectedSnapshot.isEmpty());

        if (snapshot != nullptr)
        {
            EXPECT_EQ (snapshot->getNumAttributes(), expectedSnapshot.size());

            for (int i = 0; i < expectedSnapshot.size(); ++i)
                EXPECT_EQ (snapshot->getStringAttribute ("p" + juce::String (i)), juce::var ((double) expectedSnapshot[i]).toString()) << i;
        }

        juce::StringArray ids;

        for (const auto* param : xml->getChildWithTagNameIterator ("PARAM"))
        {
            ids.add (param->getStringAttribute ("id"));
            EXPECT_TRUE (param->hasAttribute ("value")) << ids[ids.size() - 1];
        }

        EXPECT_EQ (ids.size(), numParameters);

        const auto b = makeProcessor();
        restore (*b, stateOf (*a));
        expectSameValues (*a, *b);
    }
}

TEST_F (StateTest, NamesThatAreNotAdoptedLeaveThePresetManagerAlone)
{
    const auto author = makeProcessor();
    const auto state = stateXmlOf (*author);
    setParamText (*state, ParamIDs::volume, "-30");
    removeSnapshots (*state);
    addSnapshot (*state, { 0, 1, 2 }, 0.5);

    const struct { const char* name; const char* folder; } cases[] {
        { nullptr, nullptr }, { "", "" }, { "-- unsaved --", "Factory" },
        { "Evil", "../../somewhere" }, { "../x", "User" }, { "a/b", "User" }, { "..", "" },
        { "ok", "/abs" }, { "ok", "\n" }, { "line\nbreak", "User" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name == nullptr ? juce::String ("no name") : juce::String (c.folder) + " / " + c.name);
        state->removeAttribute ("currentPresetName");
        state->removeAttribute ("currentPresetFolder");

        if (c.name != nullptr)
        {
            state->setAttribute ("currentPresetName", c.name);
            state->setAttribute ("currentPresetFolder", c.folder);
        }

        const auto p = makeProcessor();
        const auto before = current (*p);
        restore (*p, pack (*state));

        EXPECT_FLOAT_EQ (raw (*p, ParamIDs::volume), -30.0f);
        EXPECT_TRUE (current (*p) == before);

        // What the overwrite button does next stays inside the library.
        const auto& m = p->presetManager;
        p->presetManager.savePreset (m.currentPresetName, m.currentPresetFolder.isEmpty() ? "User" : m.currentPresetFolder);
        EXPECT_EQ (sandbox.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
        EXPECT_FALSE (root.getChildFile ("../../somewhere").exists());
    }
}

TEST_F (StateTest, RestoredNameFindsItsEntryOnlyByExactNameAndFolder)
{
    const auto author = makeProcessor();
    const auto state = stateXmlOf (*author);
    removeSnapshots (*state);
    addSnapshot (*state, { 0, 1, 2, 3 }, 0.25);

    const struct { const char* name; const char* folder; int index; } cases[] {
        { "Init Pad", "Factory", 0 },
        { "init pad", "Factory", -1 },
        { "Init Pad", "factory", -1 },
        { "Init Pad", "", -1 },
        { "Gone", "User", -1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.folder) + " / " + c.name);
        state->setAttribute ("currentPresetName", c.name);
        state->setAttribute ("currentPresetFolder", c.folder);

        const auto p = makeProcessor();
        restore (*p, pack (*state));

        EXPECT_TRUE (current (*p) == (Current { c.index, c.name, c.folder, { 0.25f, 0.25f, 0.25f, 0.25f } }));
    }
}

TEST_F (StateTest, SnapshotIsReadUpToItsFirstGap)
{
    const auto author = makeProcessor();
    const auto state = stateXmlOf (*author);
    state->setAttribute ("currentPresetName", "Gone");
    state->setAttribute ("currentPresetFolder", "User");

    const juce::Array<float> kept; // stands for the snapshot the instance had
    const auto tenValues = [] { juce::Array<float> v; v.insertMultiple (0, 0.125f, 10); return v; }();

    const struct
    {
        const char* what;
        std::function<void (juce::XmlElement&)> addSnapshots;
        juce::Array<float> expected;
    } cases[] {
        { "gap at p10", [] (auto& x) { addSnapshot (x, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12 }, 0.125); }, tenValues },
        { "no element", [] (auto&) {}, kept },
        { "no p0", [] (auto& x) { addSnapshot (x, { 1, 2, 3 }, 0.125); }, kept },
        { "tag in other case", [] (auto& x) { addSnapshot (x, { 0, 1 }, 0.5, "presetsnapshot"); }, { 0.5f, 0.5f } },
        { "first of two", [] (auto& x) { addSnapshot (x, { 0 }, 0.75); addSnapshot (x, { 0, 1 }, 0.5); }, { 0.75f } },
        { "beyond 0..1", [] (auto& x) { addSnapshot (x, { 0 }, 1.5)->setAttribute ("p1", -2.0); }, { 1.5f, -2.0f } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        removeSnapshots (*state);
        c.addSnapshots (*state);

        const auto p = makeProcessor();
        const auto previous = p->presetManager.snapshot;
        restore (*p, pack (*state));

        EXPECT_EQ (p->presetManager.snapshot, c.expected.isEmpty() ? previous : c.expected);
    }
}

TEST_F (StateTest, StateOfAnotherParameterSetRestoresTheCommonParameters)
{
    juce::XmlElement state ("Murmex2");
    state.setAttribute ("currentPresetName", "Older");
    state.setAttribute ("currentPresetFolder", "User");

    constexpr int common = 20;

    for (int i = 0; i < common; ++i)
    {
        const auto& parameterRow = parameterTable[(size_t) i];
        auto* param = state.createNewChildElement ("PARAM");
        param->setAttribute ("id", parameterRow.id);
        param->setAttribute ("value", parameterRow.maximum);
    }

    for (auto* unknown : { "Chorus", "Osc9 On/Off", "" })
    {
        auto* param = state.createNewChildElement ("PARAM");
        param->setAttribute ("id", unknown);
        param->setAttribute ("value", 0.5);
    }

    addSnapshot (state, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                          20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39 }, 0.5);

    const auto p = makeProcessor();
    setAllAwayFromDefaults (*p);
    juce::Array<float> before;

    for (const auto& parameterRow : parameterTable)
        before.add (raw (*p, parameterRow.id));

    restore (*p, pack (state));

    for (int i = 0; i < numParameters; ++i)
    {
        const auto& parameterRow = parameterTable[(size_t) i];
        EXPECT_FLOAT_EQ (raw (*p, parameterRow.id), i < common ? parameterRow.maximum : before[i]) << parameterRow.id;
    }

    EXPECT_EQ (p->presetManager.snapshot.size(), 40);
}

TEST_F (StateTest, CorruptBlobsChangeNothing)
{
    const auto p = makeProcessor();
    setAllAwayFromDefaults (*p);
    const auto good = stateOf (*p);
    const auto text = textOf (good);

    const auto withByte = [&good] (size_t index, juce::uint8 value)
    {
        auto block = good;
        static_cast<juce::uint8*> (block.getData())[index] = value;
        return block;
    };

    juce::XmlElement foreign ("Other");
    auto* param = foreign.createNewChildElement ("PARAM");
    param->setAttribute ("id", ParamIDs::volume);
    param->setAttribute ("value", 5.0);

    const std::string malformed = "<Murmex2 currentPresetName=\"x\"><PARAM id=\"Volume\" value=\"5\"";

    const struct { const char* what; juce::MemoryBlock block; } cases[] {
        { "empty", {} },
        { "eight bytes", juce::MemoryBlock (good.getData(), 8) },
        { "wrong magic", withByte (0, 'W') },
        { "zero length", packText (text, 0) },
        { "negative length", packText (text, -1) },
        { "malformed XML", packText (malformed, (int) malformed.size()) },
        { "not XML", packText ("Murmex2", 7) },
        { "wrong root tag", pack (foreign) },
    };

    for (const auto& c : cases)
    {
        restore (*p, c.block);
        EXPECT_EQ (stateOf (*p), good) << c.what;
    }
}

TEST_F (StateTest, ValuesFromOutsideAreSanitised)
{
    enum class Expect { defaultValue, minimum, maximum };

    const struct { const char* text; Expect expect; } cases[] {
        { "nan", Expect::defaultValue }, { "-NaN", Expect::defaultValue }, { "inf", Expect::defaultValue },
        { "-inf", Expect::defaultValue }, { "1e400", Expect::defaultValue }, { "garbage", Expect::defaultValue },
        { "", Expect::defaultValue }, { "0x5", Expect::defaultValue }, { "5 dB", Expect::defaultValue },
        { "1e40", Expect::maximum }, { "-1e40", Expect::minimum },
    };

    const auto expectSanitised = [] (Murmex2AudioProcessor& p, Expect expect)
    {
        for (const auto& parameterRow : parameterTable)
        {
            const auto expected = expect == Expect::minimum ? parameterRow.minimum
                                : expect == Expect::maximum ? parameterRow.maximum
                                                            : parameterRow.defaultValue;
            EXPECT_NEAR (raw (p, parameterRow.id), expected, 1.0e-4f * (parameterRow.maximum - parameterRow.minimum)) << parameterRow.id;
        }
    };

    const auto p = makeProcessor();

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String ("value \"") + c.text + "\"");
        const auto xml = stateXmlOf (*p);
        setParamText (*xml, {}, c.text);

        // The tree connects a parameter to a child of any type that carries its id.
        for (int i = 0; i < xml->getNumChildElements(); i += 2)
            xml->getChildElement (i)->setTagName ("Setting");

        setAllAwayFromDefaults (*p);
        restore (*p, pack (*xml));
        expectSanitised (*p, c.expect);

        setAllAwayFromDefaults (*p);
        ASSERT_TRUE (xml->writeTo (root.getChildFile ("User/Hostile.mrmx")));
        p->presetManager.rescan();
        p->presetManager.loadPresetByIndex (1);
        ASSERT_EQ (p->presetManager.currentPresetName, "Hostile");
        expectSanitised (*p, c.expect);
    }
}

TEST_F (StateTest, RandomMutationsOfAValidStateNeverLeaveABadValue)
{
    const auto seed = [] {
        if (const auto* fromEnvironment = std::getenv ("MURMEX2_STATE_SEED"))
            return (juce::int64) std::strtoll (fromEnvironment, nullptr, 10);

        return juce::Random().nextInt64();
    }();

    std::cout << "[   SEED   ] MURMEX2_STATE_SEED=" << seed << std::endl;
    SCOPED_TRACE ("MURMEX2_STATE_SEED=" + std::to_string (seed));
    juce::Random random (seed);

    const auto p = makeProcessor();
    setAllAwayFromDefaults (*p);
    const auto text = textOf (stateOf (*p));

    const char* tokens[] {
        "nan", "inf", "-inf", "1e40", "-1e40", "1e400", "garbage", "", "0x1p3", "\"", "'", "<", ">", "/>", "=",
        "&amp;", "&#0;", "&#x1F;", "<PARAM id=\"Volume\"/>", "<PARAM id=\"Filter Drive\" value=\"nan\"/>",
        "<PresetSnapshot p0=\"nan\"/>", " p40=\"1\"", " currentPresetFolder=\"../..\"", " currentPresetName=\"a/b\"",
        "\x01", "\xc3", "\xff", "base64:value=\"AAAA\"",
    };

    constexpr int iterations = 20000;

    for (int i = 0; i < iterations; ++i)
    {
        auto mutated = text;

        for (int m = 1 + random.nextInt (4); --m >= 0;)
        {
            const auto position = (size_t) random.nextInt ((int) mutated.size() + 1);
            const std::string token = tokens[random.nextInt ((int) std::size (tokens))];

            switch (random.nextInt (6))
            {
                case 0:
                case 1:
                case 2:
                    // The most telling mutation: a value's text replaced.
                    if (const auto start = mutated.find ("value=\"", position); start != std::string::npos)
                    {
                        const auto from = start + 7;
                        mutated.replace (from, mutated.find ('"', from) - from, token);
                    }
                    break;

                case 3:
                    mutated.insert (position, token);
                    break;

                case 4:
                    mutated.erase (position, (size_t) random.nextInt (32));
                    break;

                default:
                    if (position < mutated.size())
                        mutated[position] = (char) (mutated[position] ^ (1 << random.nextInt (8)));
                    break;
            }
        }

        const auto length = random.nextInt (16) == 0 ? random.nextInt() : (int) mutated.size();
        const auto magic = random.nextInt (32) == 0 ? (juce::uint32) random.nextInt() : 0x21324356u;
        restore (*p, packText (mutated, length, magic));

        if (const auto bad = findBadValue (*p); bad.isNotEmpty())
            FAIL() << "mutation " << i << ": " << bad << "\n" << mutated;

        const auto& m = p->presetManager;

        if (m.currentPresetName.isNotEmpty() && PresetManager::checkName (m.currentPresetName).failed())
            FAIL() << "mutation " << i << " adopted the name " << m.currentPresetName;

        if (m.currentPresetFolder.isNotEmpty() && PresetManager::checkFolderName (m.currentPresetFolder).failed())
            FAIL() << "mutation " << i << " adopted the folder " << m.currentPresetFolder;
    }
}

// Automation reaches the tree on the message thread and is recorded for undo:
// the history must stay bounded however long a session runs, and a run of
// changes to one parameter is one undo step.
TEST (UndoHistory, StaysBoundedUnderAutomationAndKeepsOneStepPerRun)
{
    TempFolder presets;
    Murmex2AudioProcessor processor (presets.folder);
    auto& undo = processor.undoManager;
    juce::Random random (7);

    const auto setValue = [&] (const char* id, float value)
    {
        processor.apvts.state.getChildWithProperty ("id", id).setProperty ("value", value, &undo);
    };

    for (int i = 0; i < 200000; ++i)
        setValue (parameterTable[(size_t) random.nextInt (numParameters)].id, random.nextFloat());

    EXPECT_LT (undo.getNumberOfUnitsTakenUpByStoredCommands(), 40000);

    undo.clearUndoHistory();
    const float volumeBefore = processor.volumeParam->load();
    const float driveBefore = processor.filterDriveParam->load();

    for (int i = 0; i < 100; ++i)
        setValue (ParamIDs::filterDrive, 1.0f + (float) i * 0.05f);

    setValue (ParamIDs::volume, -6.0f);
    undo.undo();
    EXPECT_FLOAT_EQ (processor.volumeParam->load(), volumeBefore);
    EXPECT_FLOAT_EQ (processor.filterDriveParam->load(), 5.95f);
    undo.undo();
    EXPECT_FLOAT_EQ (processor.filterDriveParam->load(), driveBefore) << "the whole run of Filter Drive changes is one step";
}
