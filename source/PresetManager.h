#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// One listed preset: the folder it was found in, its name (the file name
// without extension) and the file itself.
struct PresetEntry
{
    juce::String folder;
    juce::String name;
    juce::File file;
};

// The preset library: .mrmx files in one folder per category below a root.
// Message thread only; the audio thread never touches it.
class PresetManager
{
public:
    PresetManager (juce::AudioProcessorValueTreeState& state, juce::File presetRoot);

    // The per-user root that host instances use.
    static juce::File getDefaultRoot();

    // Creates the root with its "Factory" and "User" folders and moves preset
    // files lying loose in the root into "Factory".
    void prepareFolders();

    juce::File getFolderDir (const juce::String& folderName) const;
    void rescan();
    void loadPresetByIndex (int index);
    void captureSnapshot();

    // Writes the current sound as preset `name` into `folder`. On failure the
    // current preset stays as it was and the result says why.
    juce::Result savePreset (const juce::String& name, const juce::String& folder);

    // Deletes the current preset's file; no preset is current afterwards and
    // every parameter keeps its value. On failure nothing changes.
    juce::Result deleteCurrentPreset();

    // Forgets the current preset; every parameter keeps its value, and the
    // tree carries all of them.
    void resetToUnsaved();

    // Whether UTF-8 text may go to JUCE's XML parser: it must be valid UTF-8 and
    // carry no processing instruction after the declaration, which we never
    // write and on which the parser can run for ever.
    static bool isParsableXml (const char* utf8, size_t numBytes);

    // A number as JUCE writes doubles into XML, in the C locale's form whatever
    // the C++ locale: presets and states read the same wherever they were made.
    static juce::String serialiseNumber (double value);

    // Check a preset or folder name before it becomes part of a path.
    static juce::Result checkName (const juce::String& name);
    static juce::Result checkFolderName (const juce::String& folderName);

    // Plug-in state: the parameter tree with the current preset's name, folder
    // and snapshot, and the restore of such an element (any root tag: a wrong
    // one changes nothing).
    std::unique_ptr<juce::XmlElement> createStateXml() const;
    void restoreState (const juce::XmlElement& stateXml);

    static const juce::String EXT;

    // What a state stores as the name when no preset is current.
    static const juce::String UNSAVED;

    juce::AudioProcessorValueTreeState& apvts;
    juce::Array<PresetEntry> entries;
    int currentIndex = -1;
    juce::String currentPresetName;
    juce::String currentPresetFolder;
    juce::Array<float> snapshot;

private:
    void replaceTree (juce::ValueTree newState);
    std::unique_ptr<juce::XmlElement> createTreeXml() const;
    int findCurrentIndex() const;

    juce::File root;
};
