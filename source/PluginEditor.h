#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "AboutPanel.h"
#include "LookButton.h"
#include "LookKnob.h"
#include "LookPreset.h"
#include "LookSwitch.h"
#include "PluginProcessor.h"
#include "RibbonSlider.h"

// The preset box: its popup groups the presets by folder, one submenu per run
// of entries with the same folder name.
class PresetComboBox : public juce::ComboBox
{
public:
    void showPopup() override;

    // The preset list as the popup shows it, the selected preset ticked.
    juce::PopupMenu createPopupMenu() const;

    // What the popup does with its result: a chosen preset is selected, and the
    // change reaches the box's owner asynchronously.
    void popupMenuFinished (int result);

    const juce::Array<PresetEntry>* presets = nullptr;
    juce::LookAndFeel* menuLookAndFeel = nullptr;
};

//==============================================================================
class Murmex2AudioProcessorEditor : public juce::AudioProcessorEditor,
                                    public juce::Timer
{
public:
    explicit Murmex2AudioProcessorEditor (Murmex2AudioProcessor&);
    ~Murmex2AudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void resized() override;

    // Keeps the pitch-ribbon gate, the Pitch Floor lock and the modified marker
    // in step with the processor.
    void timerCallback() override;

    void updatePresetComboBox();

    // The MENU popup and the answers of the preset bar's asynchronous dialogs and
    // menu. The callbacks hold the editor through a safe pointer, so an answer
    // that comes after the editor has closed is dropped.
    juce::PopupMenu createMenu();
    std::function<void (int)> menuCallback();
    std::function<void (int, const juce::String&)> saveDialogCallback();
    std::function<void (int)> deleteDialogCallback();

    // Tells the user that a preset could not be saved or deleted; an alert
    // window unless replaced.
    std::function<void (const juce::String& title, const juce::String& message)> reportFailure;

private:
    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;
    using ButtonAttachment = juce::AudioProcessorValueTreeState::ButtonAttachment;

    void initMainUI();
    void makeKnob (juce::Slider& knob, std::unique_ptr<SliderAttachment>& attachment, juce::String paramID,
                   float minimum, float maximum);
    void rebuildCachedImages();

    // The preset bar's controls, in the order they are stacked.
    std::array<juce::Component*, 8> presetBar();

    void gateRibbon (bool held);
    bool differsFromSnapshot() const;
    juce::String presetNameShown() const;

    void stepPreset (int direction);
    juce::Result savePresetAs (const juce::String& name, const juce::String& folder);
    juce::Result overwritePreset();
    void resetPreset();
    void showSaveDialog();
    void showDeleteDialog();
    void menuItemChosen (int result);
    void report (const juce::String& title, const juce::Result& result);

    LookKnob lookKnob;
    LookSwitch lookSwitch;
    LookButton lookButton;
    LookButtonW lookButtonW;
    LookPreset lookPreset;

    juce::Image backgroundImage;
    juce::Image panelCache, overlayCache;

    // The artwork is rendered at the pixel density it was last painted at.
    float cacheScale = 1.0f;

    juce::Slider volumeKnob, filterTrackingKnob, clusterPresetKnob, swarmControlRangeKnob, filterFreqFloorKnob,
                 filterResonanceKnob, filterSwarmFreqKnob, filterEnvelopeKnob, filterDriveKnob, pitchFloorKnob,
                 attackKnob, decayKnob, sustainKnob, releaseKnob, pitchRangeKnob;

    RibbonSlider swarmRibbon, pitchRibbon;

    std::unique_ptr<SliderAttachment> volumeAttachment, filterTrackingAttachment, clusterPresetAttachment,
                                      swarmControlRangeAttachment, filterFreqFloorAttachment, filterResonanceAttachment,
                                      filterSwarmFreqAttachment, filterEnvelopeAttachment, filterDriveAttachment,
                                      pitchFloorAttachment, attackAttachment, decayAttachment, sustainAttachment,
                                      releaseAttachment, pitchRangeAttachment, pitchRibbonAttachment,
                                      swarmRibbonAttachment;

    juce::TextButton interruptButton { "I" };
    std::array<juce::ToggleButton, 8> oscButtons;
    juce::ToggleButton filterTrackingSwitch { "T" };
    juce::ToggleButton swarmFilterSwitch { "X" };
    juce::ToggleButton powerSwitch { "Power" };
    juce::ToggleButton sinSawSwitch { "Sin/Saw" };
    juce::ToggleButton aButton { "A" };
    juce::ToggleButton bButton { "B" };

    std::unique_ptr<ButtonAttachment> filterTrackingSwitchAttachment, swarmFilterSwitchAttachment,
                                      powerSwitchAttachment, sinSawSwitchAttachment, aButtonAttachment,
                                      bButtonAttachment;
    std::array<std::unique_ptr<ButtonAttachment>, 8> oscButtonAttachments;

    juce::TextButton prevPresetButton { "<" };
    juce::TextButton nextPresetButton { ">" };
    juce::TextButton savePresetButton { "SAV" };
    juce::TextButton deletePresetButton { "DEL" };
    juce::TextButton overwritePresetButton { "OVR" };
    juce::TextButton resetButton { "RST" };
    juce::TextButton menuButton { "MENU" };
    PresetComboBox presetBox;

    std::unique_ptr<AboutPanel> aboutPanel;

    Murmex2AudioProcessor& audioProcessor;
    bool modifiedShown = false;

    juce::TooltipWindow tooltipWindow { this, 500 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Murmex2AudioProcessorEditor)
};

// The whole editor, children included, painted headless into an image at the
// given pixel density.
juce::Image renderEditorSnapshot (Murmex2AudioProcessor&, float scale = 1.0f);
