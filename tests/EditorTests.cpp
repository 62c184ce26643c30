#include "TestSupport.h"

#include "PluginEditor.h"

#include <thread>

namespace
{
    template <typename Predicate>
    juce::Component& findChild (juce::Component& parent, const juce::String& what, Predicate&& matches)
    {
        for (auto* child : parent.getChildren())
            if (matches (*child))
                return *child;

        throw std::runtime_error ("no child " + what.toStdString());
    }

    juce::Component& withTooltip (juce::Component& parent, const juce::String& tip)
    {
        return findChild (parent, tip, [&] (juce::Component& c)
        {
            auto* client = dynamic_cast<juce::SettableTooltipClient*> (&c);
            return client != nullptr && client->getTooltip() == tip;
        });
    }

    juce::Component& named (juce::Component& parent, const juce::String& name)
    {
        return findChild (parent, name, [&] (juce::Component& c) { return c.getName() == name; });
    }

    template <typename Type>
    Type& nthOfType (juce::Component& parent, int n = 0)
    {
        return dynamic_cast<Type&> (findChild (parent, typeid (Type).name(), [&n] (juce::Component& c)
        {
            return dynamic_cast<Type*> (&c) != nullptr && n-- == 0;
        }));
    }

}

//==============================================================================
class EditorTest : public testing::Test
{
protected:
    EditorTest()
    {
        processor->prepareToPlay (44100.0, 512);
    }

    std::unique_ptr<Murmex2AudioProcessorEditor> makeEditor()
    {
        auto editor = std::make_unique<Murmex2AudioProcessorEditor> (*processor);
        editor->reportFailure = [this] (const juce::String& title, const juce::String& message)
        {
            failures.add (title + ": " + message);
        };
        return editor;
    }

    // A, B in "Factory" and C in "User", told apart by their volume; A is loaded.
    void writePresets()
    {
        for (auto [name, folder, volume] : { std::tuple { "A", "Factory", -10.0f }, { "B", "Factory", -20.0f },
                                             { "C", "User", -30.0f } })
        {
            set (ParamIDs::volume, volume);
            ASSERT_TRUE (presets().savePreset (name, folder).wasOk());
        }

        presets().loadPresetByIndex (0);
        ASSERT_EQ (presets().currentIndex, 0);
    }

    PresetManager& presets() { return processor->presetManager; }

    void set (const char* id, float value)
    {
        auto* parameter = processor->apvts.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (value));
    }

    void renderBlock()
    {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        processor->processBlock (buffer, midi);
    }

    // Leaves something in the undo history, for the actions that must clear it.
    void makeUndoable()
    {
        undoProbe.setProperty ("x", (int) undoProbe["x"] + 1, &processor->undoManager);
        processor->undoManager.beginNewTransaction();
    }

    float raw (const char* id) const { return processor->apvts.getRawParameterValue (id)->load(); }

    juce::File presetFile (const char* folder, const char* name) const
    {
        return root.folder.getChildFile (folder).getChildFile (name + PresetManager::EXT);
    }

    static PresetComboBox& box (Murmex2AudioProcessorEditor& editor) { return nthOfType<PresetComboBox> (editor); }
    static RibbonSlider& pitchRibbon (Murmex2AudioProcessorEditor& editor) { return nthOfType<RibbonSlider> (editor, 0); }

    static void click (Murmex2AudioProcessorEditor& editor, const juce::String& buttonName)
    {
        dynamic_cast<juce::Button&> (named (editor, buttonName)).onClick();
    }

    TempFolder root;
    std::unique_ptr<Murmex2AudioProcessor> processor = std::make_unique<Murmex2AudioProcessor> (root.folder);
    juce::StringArray failures;
    juce::ValueTree undoProbe { "UndoProbe" };
};

//==============================================================================
TEST_F (EditorTest, LaysOutEveryControlOnTheFixedPanel)
{
    auto editor = makeEditor();
    ASSERT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 900, 690));

    struct Row { const char* tooltip; juce::Rectangle<int> bounds; };

    const Row byTooltip[] {
        { "Volume", { 50, 85, 70, 70 } },                    { "Filter Tracking", { 790, 85, 70, 70 } },
        { "Filter/Swarm Frequency", { 397, 215, 105, 105 } }, { "Filter Frequency Floor", { 157, 232, 70, 70 } },
        { "Filter Resonance", { 277, 232, 70, 70 } },        { "Filter Envelope", { 552, 232, 70, 70 } },
        { "Filter Drive", { 672, 232, 70, 70 } },            { "Cluster Preset", { 305, 145, 70, 70 } },
        { "Swarm Control Range", { 525, 145, 70, 70 } },     { "Pitch Floor", { 50, 335, 70, 70 } },
        { "Pitch Range", { 790, 335, 70, 70 } },             { "Attack", { 235, 335, 70, 70 } },
        { "Decay", { 355, 335, 70, 70 } },                   { "Sustain", { 475, 335, 70, 70 } },
        { "Release", { 595, 335, 70, 70 } },                 { "Audio Signal Interrupt", { 141, 106, 28, 28 } },
        { "Swarm/Filter Control", { 415, 135, 55, 55 } },    { "Filter Tracking On/Off", { 731, 96, 55, 55 } },
        { "Power On/Off", { 790, 230, 55, 55 } },            { "Sin/Saw", { 50, 567, 55, 55 } },
        { "A Button", { 790, 579, 35, 35 } },                { "B Button", { 835, 579, 35, 35 } },
    };

    for (const auto& row : byTooltip)
        EXPECT_EQ (withTooltip (*editor, row.tooltip).getBounds(), row.bounds) << row.tooltip;

    const int oscX[] { 227, 282, 338, 393, 449, 505, 560, 616 };

    for (int k = 0; k < 8; ++k)
        EXPECT_EQ (withTooltip (*editor, "Osc " + juce::String (k + 1)).getBounds(),
                   juce::Rectangle<int> (oscX[k], 85, 35, 35)) << "Osc " << k + 1;

    EXPECT_EQ (pitchRibbon (*editor).getBounds(), juce::Rectangle<int> (50, 440, 810, 128));
    EXPECT_EQ (nthOfType<RibbonSlider> (*editor, 1).getBounds(), juce::Rectangle<int> (128, 552, 661, 105));

    const std::pair<const char*, juce::Rectangle<int>> presetBar[] {
        { "MENU", { 130, 15, 75, 32 } }, { "<", { 238, 15, 28, 32 } },   { ">", { 700, 15, 28, 32 } },
        { "SAV", { 734, 15, 40, 32 } },  { "DEL", { 780, 15, 34, 32 } }, { "OVR", { 820, 15, 34, 32 } },
        { "RST", { 860, 15, 34, 32 } },
    };

    for (const auto& [name, bounds] : presetBar)
        EXPECT_EQ (named (*editor, name).getBounds(), bounds) << name;

    EXPECT_EQ (box (*editor).getBounds(), juce::Rectangle<int> (272, 15, 422, 32));
    EXPECT_EQ (nthOfType<AboutPanel> (*editor).getBounds(), editor->getLocalBounds());
}

TEST_F (EditorTest, ControlsCarryTheirTooltipsTextsAndStackingOrder)
{
    auto editor = makeEditor();
    const auto& children = editor->getChildren();
    const auto indexOf = [&] (juce::Component& c) { return children.indexOf (&c); };

    // Knobs, oscillator buttons, interrupt button, switches, A and B, ribbons,
    // preset bar, About panel: each group above the one before.
    juce::Array<juce::Component*> expectedOrder;

    for (auto* tip : { "Volume", "Pitch Range", "Osc 1", "Osc 8", "Audio Signal Interrupt", "Filter Tracking On/Off",
                       "Sin/Saw", "A Button", "B Button" })
        expectedOrder.add (&withTooltip (*editor, tip));

    expectedOrder.add (&pitchRibbon (*editor));
    expectedOrder.add (&nthOfType<RibbonSlider> (*editor, 1));

    for (auto* name : { "<", "RST" })
        expectedOrder.add (&named (*editor, name));

    expectedOrder.add (&box (*editor));
    expectedOrder.add (&named (*editor, "MENU"));
    expectedOrder.add (&nthOfType<AboutPanel> (*editor));

    for (int i = 1; i < expectedOrder.size(); ++i)
        EXPECT_LT (indexOf (*expectedOrder[i - 1]), indexOf (*expectedOrder[i])) << "position " << i;

    // The tooltip window stays above everything, the About panel included.
    EXPECT_NE (dynamic_cast<juce::TooltipWindow*> (children.getLast()), nullptr);
    EXPECT_FALSE (nthOfType<AboutPanel> (*editor).isVisible());

    juce::StringArray buttons;

    for (auto* tip : { "Osc 1", "Osc 2", "Osc 3", "Osc 4", "Osc 5", "Osc 6", "Osc 7", "Osc 8", "Audio Signal Interrupt",
                       "Filter Tracking On/Off", "Swarm/Filter Control", "Power On/Off", "Sin/Saw", "A Button", "B Button" })
        buttons.add (dynamic_cast<juce::Button&> (withTooltip (*editor, tip)).getButtonText());

    EXPECT_EQ (buttons.joinIntoString (" "), "1 2 3 4 5 6 7 8 I T X Power Sin/Saw A B");

    // Ribbons and the preset bar have no tooltip.
    EXPECT_TRUE (pitchRibbon (*editor).getTooltip().isEmpty());
    EXPECT_TRUE (nthOfType<RibbonSlider> (*editor, 1).getTooltip().isEmpty());
    EXPECT_TRUE (box (*editor).getTooltip().isEmpty());

    for (auto* name : { "MENU", "<", ">", "SAV", "DEL", "OVR", "RST" })
        EXPECT_TRUE (dynamic_cast<juce::Button&> (named (*editor, name)).getTooltip().isEmpty()) << name;
}

TEST_F (EditorTest, EveryControlDrivesItsOwnParameterOnly)
{
    auto editor = makeEditor();
    const auto values = [this]
    {
        std::vector<float> v;

        for (const auto& parameterRow : parameterTable)
            v.push_back (raw (parameterRow.id));

        return v;
    };

    for (size_t i = 0; i < parameterTable.size(); ++i)
    {
        const juce::String id (parameterTable[i].id);
        auto& control = id == ParamIDs::pitchRibbon ? pitchRibbon (*editor)
                      : id == ParamIDs::swarmRibbon ? nthOfType<RibbonSlider> (*editor, 1)
                      : id.startsWith ("Osc") ? withTooltip (*editor, "Osc " + id.substring (3, 4))
                                              : withTooltip (*editor, id);
        const auto before = values();

        if (auto* slider = dynamic_cast<juce::Slider*> (&control))
            slider->setValue (slider->getValue() < slider->getMaximum() ? slider->getMaximum() : slider->getMinimum(),
                              juce::sendNotificationSync);
        else
            dynamic_cast<juce::Button&> (control).setToggleState (! raw (id.toRawUTF8()), juce::sendNotificationSync);

        const auto after = values();

        for (size_t j = 0; j < after.size(); ++j)
            EXPECT_EQ (after[j] != before[j], i == j) << "moving the control of " << id << " changed " << parameterTable[j].id;
    }
}

//==============================================================================
TEST_F (EditorTest, PitchRibbonGatesANoteOnlyWhileAButtonIsOff)
{
    auto& voice = *processor->voice;
    const auto gateSounding = [&voice] { return voice.getCurrentlyPlayingNote() == 0 && voice.isKeyDown(); };

    struct Case { float aWhilePressed, aWhileReleased; bool noteOn, noteOffAtRelease; };

    for (const auto& c : { Case { 0.0f, 0.0f, true, true }, Case { 1.0f, 1.0f, false, false },
                           Case { 0.0f, 1.0f, true, false } })
    {
        SCOPED_TRACE (testing::Message() << "A " << c.aWhilePressed << " then " << c.aWhileReleased);
        processor->synth.allNotesOff (0, false);
        auto editor = makeEditor();
        auto& ribbon = pitchRibbon (*editor);

        set (ParamIDs::aButton, c.aWhilePressed);
        ribbon.mouseDown (mouseAt (ribbon, 300, 60));
        EXPECT_TRUE (processor->ribbonGateDown.load());
        EXPECT_EQ (gateSounding(), c.noteOn);

        set (ParamIDs::aButton, c.aWhileReleased);
        ribbon.mouseUp (mouseAt (ribbon, 300, 60));
        EXPECT_FALSE (processor->ribbonGateDown.load());
        EXPECT_EQ (gateSounding(), c.noteOn && ! c.noteOffAtRelease);
    }
}

TEST_F (EditorTest, TimerReleasesAGateThatAClosedEditorLeftHeld)
{
    set (ParamIDs::aButton, 0.0f);
    auto& voice = *processor->voice;

    {
        auto editor = makeEditor();
        pitchRibbon (*editor).onTouch (true);
        ASSERT_TRUE (voice.isKeyDown());
    }

    renderBlock();
    EXPECT_TRUE (processor->ribbonGateDown.load());
    EXPECT_TRUE (voice.isKeyDown());

    auto next = makeEditor();
    next->timerCallback();
    EXPECT_FALSE (processor->ribbonGateDown.load());
    EXPECT_FALSE (voice.isKeyDown());

    // The note-off allows the release tail.
    renderBlock();
    EXPECT_TRUE (voice.isVoiceActive());
}

TEST_F (EditorTest, PitchFloorKnobIsLockedExactlyWhileAButtonIsOn)
{
    auto editor = makeEditor();
    auto& pitchFloor = withTooltip (*editor, "Pitch Floor");
    auto& aButton = dynamic_cast<juce::Button&> (withTooltip (*editor, "A Button"));

    for (auto on : { true, false, true, false })
    {
        aButton.setToggleState (on, juce::sendNotificationSync);
        editor->timerCallback();
        EXPECT_EQ (pitchFloor.isEnabled(), ! on) << "A " << on;
    }
}

TEST_F (EditorTest, ModifiedMarkerFollowsTheSnapshotWithinOneTick)
{
    writePresets();
    auto editor = makeEditor();
    auto& presetBox = box (*editor);
    editor->timerCallback();
    EXPECT_EQ (presetBox.getText(), "A");

    // Through a knob, the way a user changes it.
    auto& volume = dynamic_cast<juce::Slider&> (withTooltip (*editor, "Volume"));
    volume.setValue (-9.5, juce::sendNotificationSync);
    editor->timerCallback();
    EXPECT_EQ (presetBox.getText(), "* A");
    EXPECT_EQ (presetBox.getSelectedId(), 0);

    // Nothing is ticked in the list while the marker shows.
    const auto menu = presetBox.createPopupMenu();

    for (juce::PopupMenu::MenuItemIterator it (menu, true); it.next();)
        EXPECT_FALSE (it.getItem().isTicked) << it.getItem().text;

    volume.setValue (-10.0, juce::sendNotificationSync);
    editor->timerCallback();
    EXPECT_EQ (presetBox.getText(), "A");
    EXPECT_EQ (presetBox.getSelectedId(), 1);

    // A switch counts as much as a knob; with no preset name the marker shows the unsaved text.
    presets().currentIndex = -1;
    presets().currentPresetName.clear();
    set (ParamIDs::sinSaw, 0.0f);
    editor->timerCallback();
    EXPECT_EQ (presetBox.getText(), "* -- unsaved --");

    // With no snapshot there is nothing to differ from.
    click (*editor, "RST");
    set (ParamIDs::volume, 6.0f);
    editor->timerCallback();
    EXPECT_EQ (presetBox.getText(), "-- unsaved --");
}

TEST_F (EditorTest, UndoAndRedoKeysAcceptNoExtraModifier)
{
    auto editor = makeEditor();
    auto& undo = processor->undoManager;

    juce::ValueTree tree ("T");
    tree.setProperty ("x", 1, &undo);
    undo.beginNewTransaction();
    tree.setProperty ("x", 2, &undo);
    undo.beginNewTransaction();

    const auto command = juce::ModifierKeys::commandModifier;
    const auto shift = juce::ModifierKeys::shiftModifier;
    const auto alt = juce::ModifierKeys::altModifier;

    struct Case { int keyCode; int modifiers; bool handled; int xAfter; };

    const Case cases[] {
        { 'z', command, true, 1 },
        { 'z', command | shift, true, 2 },
        { 'Z', command, true, 1 },                 // caps lock
        { 'Y', command, true, 2 },                 // caps lock
        { 'z', command | alt, false, 2 },
        { 'Z', command | shift | alt, false, 2 },
        { 'z', 0, false, 2 },
        { 'z', shift, false, 2 },
        { 'y', command | shift, false, 2 },
        { 'x', command, false, 2 },
        { 'z', command | juce::ModifierKeys::leftButtonModifier, true, 1 },
    };

    for (const auto& c : cases)
    {
        EXPECT_EQ (editor->keyPressed (juce::KeyPress (c.keyCode, juce::ModifierKeys (c.modifiers), 0)), c.handled)
            << (char) c.keyCode << " with modifiers " << c.modifiers;
        EXPECT_EQ ((int) tree["x"], c.xAfter) << (char) c.keyCode << " with modifiers " << c.modifiers;
    }
}

TEST_F (EditorTest, InterruptButtonAsksTheAudioCallbackToStop)
{
    set (ParamIDs::aButton, 0.0f);
    auto editor = makeEditor();
    pitchRibbon (*editor).onTouch (true);

    dynamic_cast<juce::Button&> (withTooltip (*editor, "Audio Signal Interrupt")).onClick();
    EXPECT_TRUE (processor->voiceStopRequest.load());

    renderBlock();
    EXPECT_FALSE (processor->voiceStopRequest.load());
    EXPECT_TRUE (processor->voice->releaseHeld);
}

//==============================================================================
TEST_F (EditorTest, PresetBoxListsEveryPresetAndItsPopupGroupsThemByFolder)
{
    writePresets();
    auto editor = makeEditor();
    auto& presetBox = box (*editor);

    EXPECT_EQ (presetBox.getNumItems(), 3);
    EXPECT_EQ (presetBox.getSelectedId(), 1);
    EXPECT_EQ (presetBox.getTextWhenNothingSelected(), "-- no preset --");

    const auto menu = presetBox.createPopupMenu();
    juce::StringArray layout;

    for (juce::PopupMenu::MenuItemIterator folders (menu); folders.next();)
    {
        const auto& folder = folders.getItem();
        ASSERT_NE (folder.subMenu, nullptr) << folder.text;
        layout.add (folder.text + ":");

        for (juce::PopupMenu::MenuItemIterator items (*folder.subMenu); items.next();)
        {
            const auto& item = items.getItem();
            layout.add (juce::String (item.itemID) + " " + item.text + (item.isTicked ? " ticked" : ""));
        }
    }

    EXPECT_EQ (layout, juce::StringArray ({ "Factory:", "1 A ticked", "2 B", "User:", "3 C" }));

    // A choice from the popup loads that preset once the change arrives.
    makeUndoable();
    presetBox.popupMenuFinished (2);
    dispatchPendingMessages();
    EXPECT_EQ (presets().currentIndex, 1);
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -20.0f);
    EXPECT_FALSE (processor->undoManager.canUndo());

    // Dismissing the popup changes nothing.
    presetBox.popupMenuFinished (0);
    dispatchPendingMessages();
    EXPECT_EQ (presets().currentIndex, 1);

    // A preset whose file has gone loads nothing, and the box says so.
    ASSERT_TRUE (presetFile ("User", "C").deleteFile());
    presetBox.setSelectedId (3, juce::sendNotificationSync);
    EXPECT_EQ (presets().currentIndex, 1);
    EXPECT_EQ (presetBox.getText(), "B");
}

TEST_F (EditorTest, StepButtonsWrapAroundTheLibrary)
{
    writePresets();
    auto editor = makeEditor();

    struct Case { int startIndex; const char* button; int expectedIndex; };

    for (const auto& c : { Case { 0, "<", 2 }, Case { 2, ">", 0 }, Case { 1, ">", 2 }, Case { 1, "<", 0 },
                           Case { -1, "<", 2 }, Case { -1, ">", 0 } })
    {
        SCOPED_TRACE (testing::Message() << c.button << " from " << c.startIndex);

        if (c.startIndex >= 0)
            presets().loadPresetByIndex (c.startIndex);
        else
            click (*editor, "RST");

        makeUndoable();
        click (*editor, c.button);

        EXPECT_EQ (presets().currentIndex, c.expectedIndex);
        EXPECT_EQ (box (*editor).getText(), presets().entries[c.expectedIndex].name);
        EXPECT_FALSE (processor->undoManager.canUndo());
    }
}

TEST_F (EditorTest, EmptyLibraryStillRefreshesTheBox)
{
    auto editor = makeEditor();
    makeUndoable();

    for (auto* button : { "<", ">", "DEL", "OVR" })
    {
        click (*editor, button);
        EXPECT_EQ (box (*editor).getText(), "-- unsaved --") << button;
        EXPECT_EQ (presets().currentIndex, -1) << button;
    }

    EXPECT_FALSE (processor->undoManager.canUndo());
    EXPECT_EQ (box (*editor).createPopupMenu().getNumItems(), 0);
    EXPECT_EQ (root.folder.findChildFiles (juce::File::findFiles, true, "*" + PresetManager::EXT).size(), 0);
}

TEST_F (EditorTest, ResetForgetsThePresetAndKeepsEveryValueInTheTree)
{
    writePresets();
    auto editor = makeEditor();
    set (ParamIDs::volume, -5.0f);
    set (ParamIDs::filterDrive, 7.0f);
    editor->timerCallback();
    ASSERT_EQ (box (*editor).getText(), "* A");

    click (*editor, "RST");

    EXPECT_EQ (box (*editor).getText(), "-- unsaved --");
    EXPECT_EQ (presets().currentIndex, -1);
    EXPECT_TRUE (presets().currentPresetName.isEmpty());
    EXPECT_FALSE (processor->undoManager.canUndo());
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -5.0f);

    // The state a host stores now brings back the values the panel shows.
    juce::MemoryBlock state;
    processor->getStateInformation (state);
    Murmex2AudioProcessor restored (root.folder);
    restored.setStateInformation (state.getData(), (int) state.getSize());

    for (const auto& parameterRow : parameterTable)
        EXPECT_FLOAT_EQ (restored.apvts.getRawParameterValue (parameterRow.id)->load(), raw (parameterRow.id)) << parameterRow.id;

    editor->timerCallback();
    EXPECT_EQ (box (*editor).getText(), "-- unsaved --");

    // Nothing to overwrite.
    const auto before = root.folder.findChildFiles (juce::File::findFiles, true, "*");
    click (*editor, "OVR");
    EXPECT_EQ (root.folder.findChildFiles (juce::File::findFiles, true, "*"), before);
}

TEST_F (EditorTest, OverwriteSavesIntoTheCurrentPresetsOwnFolder)
{
    writePresets();
    auto editor = makeEditor();
    set (ParamIDs::volume, -3.0f);
    click (*editor, "OVR");

    EXPECT_EQ (box (*editor).getText(), "A");
    EXPECT_FALSE (presetFile ("User", "A").exists());
    set (ParamIDs::volume, 0.0f);
    presets().loadPresetByIndex (0);
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -3.0f);

    // A restored name that matches no preset goes into its kept folder, or into "User".
    for (auto [folder, expectedFolder] : { std::pair { "Factory", "Factory" }, { "", "User" } })
    {
        presets().currentIndex = -1;
        presets().currentPresetName = "Lost";
        presets().currentPresetFolder = folder;
        click (*editor, "OVR");
        EXPECT_TRUE (presetFile (expectedFolder, "Lost").existsAsFile()) << expectedFolder;
        EXPECT_EQ (box (*editor).getText(), "Lost");
        ASSERT_TRUE (presetFile (expectedFolder, "Lost").deleteFile());
        presets().rescan();
    }

    // The unsaved text itself is not a name to overwrite.
    presets().currentIndex = -1;
    presets().currentPresetName = PresetManager::UNSAVED;
    presets().currentPresetFolder = "User";
    click (*editor, "OVR");
    EXPECT_FALSE (presetFile ("User", "-- unsaved --").exists());
    EXPECT_TRUE (failures.isEmpty()) << failures.joinIntoString ("\n");
}

TEST_F (EditorTest, SaveDialogSavesAUserPresetUnderTheTrimmedName)
{
    writePresets();
    auto editor = makeEditor();
    const auto answer = editor->saveDialogCallback();

    // Cancelled, or a blank name: nothing happens.
    answer (0, "Nope");
    answer (1, "   ");
    EXPECT_EQ (presets().entries.size(), 3);

    set (ParamIDs::volume, -7.0f);
    answer (1, "  A  ");
    EXPECT_TRUE (presetFile ("User", "A").existsAsFile());
    EXPECT_EQ (presets().currentPresetFolder, "User");
    EXPECT_EQ (box (*editor).getText(), "A");
    EXPECT_EQ (box (*editor).getSelectedId(), presets().currentIndex + 1);

    // The proposed name with no preset current is a name like any other.
    click (*editor, "RST");
    answer (1, PresetManager::UNSAVED);
    EXPECT_TRUE (presetFile ("User", "-- unsaved --").existsAsFile());
    EXPECT_TRUE (failures.isEmpty()) << failures.joinIntoString ("\n");
}

TEST_F (EditorTest, SaveDialogReportsARefusedOrFailedSaveAndKeepsTheCurrentPreset)
{
    writePresets();
    auto editor = makeEditor();
    const auto answer = editor->saveDialogCallback();

    // A folder where the file should go makes the write fail.
    const auto blocked = presetFile ("User", "Blocked");
    ASSERT_TRUE (blocked.createDirectory().wasOk());

    struct Case { juce::String name, mentioned; };

    for (const auto& c : { Case { "a/b", "cannot contain /" }, Case { "..", "cannot be a preset name" },
                           Case { "Blocked", blocked.getFullPathName() } })
    {
        failures.clear();
        answer (1, c.name);

        ASSERT_EQ (failures.size(), 1) << c.name;
        EXPECT_TRUE (failures[0].startsWith ("Preset Not Saved: ")) << failures[0];
        EXPECT_TRUE (failures[0].contains (c.mentioned)) << failures[0];
        EXPECT_EQ (presets().currentIndex, 0) << c.name;
        EXPECT_EQ (presets().currentPresetName, "A") << c.name;
        EXPECT_EQ (box (*editor).getText(), "A") << c.name;
    }

    EXPECT_EQ (presets().entries.size(), 3);
}

TEST_F (EditorTest, DeleteDialogRemovesTheCurrentPresetOnlyWhenConfirmed)
{
    writePresets();
    auto editor = makeEditor();
    set (ParamIDs::volume, -4.0f);
    const auto answer = editor->deleteDialogCallback();

    answer (0);
    EXPECT_TRUE (presetFile ("Factory", "A").existsAsFile());
    EXPECT_EQ (presets().currentIndex, 0);

    answer (1);
    EXPECT_FALSE (presetFile ("Factory", "A").exists());
    EXPECT_EQ (presets().currentIndex, -1);
    EXPECT_EQ (presets().entries.size(), 2);
    EXPECT_EQ (box (*editor).getText(), "-- unsaved --");
    EXPECT_FLOAT_EQ (raw (ParamIDs::volume), -4.0f);

    // Confirmed again with no preset current, which the library may have become meanwhile.
    answer (1);
    EXPECT_EQ (presets().entries.size(), 2);
    EXPECT_TRUE (failures.isEmpty()) << failures.joinIntoString ("\n");
}

TEST_F (EditorTest, MenuOffersManualAboutAndWebSite)
{
    auto editor = makeEditor();
    juce::StringArray items;

    const auto menu = editor->createMenu();

    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& item = it.getItem();
        items.add (item.isSectionHeader ? "header " + item.text
                                        : item.isSeparator ? juce::String ("separator")
                                                           : juce::String (item.itemID) + " " + item.text);
    }

    EXPECT_EQ (items, juce::StringArray ({ "header MURMEX 2", "1 Download Manual...", "separator", "2 About...",
                                           "3 https://halvenor.example" }));

    auto& about = nthOfType<AboutPanel> (*editor);
    const auto answer = editor->menuCallback();

    answer (0);
    EXPECT_FALSE (about.isVisible());

    answer (2);
    EXPECT_TRUE (about.isVisible());

    about.onClose();
    EXPECT_FALSE (about.isVisible());
}

TEST_F (EditorTest, AnswersArrivingAfterTheEditorClosedAreDropped)
{
    writePresets();
    auto editor = makeEditor();
    const auto save = editor->saveDialogCallback();
    const auto remove = editor->deleteDialogCallback();
    const auto menu = editor->menuCallback();
    editor.reset();

    save (1, "Late");
    remove (1);
    menu (2);

    EXPECT_FALSE (presetFile ("User", "Late").exists());
    EXPECT_TRUE (presetFile ("Factory", "A").existsAsFile());
    EXPECT_EQ (presets().currentIndex, 0);
}

//==============================================================================
TEST_F (EditorTest, OpensAndClosesRepeatedlyWhileTheAudioThreadPlays)
{
    std::atomic<bool> running { true };

    std::thread audio ([this, &running]
    {
        juce::AudioBuffer<float> buffer (2, 256);

        for (int block = 0; running.load(); ++block)
        {
            auto midi = block % 2 == 0 ? noteOn (48 + block % 24) : noteOff (48 + (block - 1) % 24);
            processor->processBlock (buffer, midi);
        }
    });

    for (int i = 0; i < 200; ++i)
    {
        auto editor = makeEditor();
        set (ParamIDs::aButton, (float) (i % 2));
        pitchRibbon (*editor).onTouch (i % 3 != 0);
        editor->timerCallback();
        dynamic_cast<juce::Slider&> (withTooltip (*editor, "Volume")).setValue (-(float) (i % 40));
    }

    running.store (false);
    audio.join();

    EXPECT_FALSE (processor->ribbonGateDown.load());
}

//==============================================================================
TEST_F (EditorTest, SnapshotPaintsTheWholePanelSharplyAtTheScreensDensity)
{
    writePresets();
    const auto snapshot = renderEditorSnapshot (*processor);
    ASSERT_EQ (snapshot.getBounds(), juce::Rectangle<int> (0, 0, 900, 690));

    for (auto [x, y] : { std::pair { 0, 0 }, { 899, 689 }, { 450, 345 }, { 5, 600 } })
        EXPECT_EQ (snapshot.getPixelAt (x, y).getAlpha(), 255) << x << ", " << y;

    // Children are painted: the preset box draws its name and arrow in pale
    // green over the dark title bar.
    int textPixels = 0;

    for (int y = 15; y < 47; ++y)
        for (int x = 272; x < 694; ++x)
            textPixels += snapshot.getPixelAt (x, y).getGreen() > 0x80 ? 1 : 0;

    EXPECT_GT (textPixels, 10);

    // At twice the density the title (no child lies over it) is drawn again,
    // not enlarged: its edges are far sharper than those of the normal
    // snapshot scaled up.
    const auto hiDpi = renderEditorSnapshot (*processor, 2.0f);
    ASSERT_EQ (hiDpi.getBounds(), juce::Rectangle<int> (0, 0, 1800, 1380));

    juce::Image enlarged (juce::Image::ARGB, 1800, 1380, true);
    {
        juce::Graphics g (enlarged);
        g.drawImageTransformed (snapshot, juce::AffineTransform::scale (2.0f));
    }

    const auto edgeEnergy = [] (const juce::Image& image)
    {
        double sum = 0.0;

        for (int y = 0; y < 120; ++y)
            for (int x = 1; x < 250; ++x)
                sum += juce::square (image.getPixelAt (x, y).getBrightness() - image.getPixelAt (x - 1, y).getBrightness());

        return sum;
    };

    EXPECT_GT (edgeEnergy (hiDpi), 2.0 * edgeEnergy (enlarged));
}
