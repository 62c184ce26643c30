#include "PluginEditor.h"

#include "BinaryData.h"

namespace
{
    // The maker's site, set once in the build; the manual lies on it.
    const juce::String makerWebAddress { JucePlugin_ManufacturerWebsite };
    const juce::String manualPath { "/INSTALLERS/Murmex2_Manual.pdf" };

    const juce::String userFolder { "User" };

    enum MenuItem { downloadManual = 1, showAbout, visitWebSite };

    juce::Font monospaced (float height, int style = juce::Font::plain)
    {
        return { juce::Font::getDefaultMonospacedFontName(), height, style };
    }

    void showFailureAlert (const juce::String& title, const juce::String& message)
    {
        juce::AlertWindow::showMessageBoxAsync (juce::MessageBoxIconType::WarningIcon, title, message);
    }
}

//==============================================================================
void PresetComboBox::showPopup()
{
    if (presets == nullptr || presets->isEmpty())
    {
        juce::ComboBox::showPopup();
        return;
    }

    createPopupMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (this).withMinimumWidth (getWidth()),
                                     [safeThis = SafePointer<PresetComboBox> (this)] (int result)
                                     {
                                         if (safeThis != nullptr)
                                             safeThis->popupMenuFinished (result);
                                     });
}

juce::PopupMenu PresetComboBox::createPopupMenu() const
{
    juce::PopupMenu root;

    if (presets == nullptr || presets->isEmpty())
        return root;

    if (menuLookAndFeel != nullptr)
        root.setLookAndFeel (menuLookAndFeel);

    const auto selected = getSelectedId();
    const auto numPresets = presets->size();
    auto folder = presets->getReference (0).folder;
    juce::PopupMenu group;
    group.addItem (1, presets->getReference (0).name, true, selected == 1);

    for (int i = 1; i <= numPresets; ++i)
    {
        const auto f = i < numPresets ? presets->getReference (i).folder : juce::String();

        if (f != folder)
        {
            root.addSubMenu (folder, group, true);
            group = {};
        }

        if (i < numPresets)
            group.addItem (i + 1, presets->getReference (i).name, true, selected == i + 1);

        folder = f;
    }

    return root;
}

void PresetComboBox::popupMenuFinished (int result)
{
    hidePopup();

    if (result > 0)
        setSelectedId (result, juce::sendNotificationAsync);
}

//==============================================================================
Murmex2AudioProcessorEditor::Murmex2AudioProcessorEditor (Murmex2AudioProcessor& p)
    : AudioProcessorEditor (&p), reportFailure (showFailureAlert), audioProcessor (p)
{
    setLookAndFeel (&lookKnob);
    backgroundImage = juce::ImageCache::getFromMemory (BinaryData::panel_background_jpg,
                                                       BinaryData::panel_background_jpgSize);
    initMainUI();
    setWantsKeyboardFocus (true);
    startTimer (20);
    setSize (900, 690);
}

Murmex2AudioProcessorEditor::~Murmex2AudioProcessorEditor()
{
    removeChildComponent (aboutPanel.get());
    aboutPanel.reset();

    for (auto* c : presetBar())
        c->setLookAndFeel (nullptr);

    setLookAndFeel (nullptr);
    stopTimer();
}

//==============================================================================
void Murmex2AudioProcessorEditor::initMainUI()
{
    makeKnob (volumeKnob, volumeAttachment, ParamIDs::volume, -72.0f, 12.0f);
    makeKnob (filterTrackingKnob, filterTrackingAttachment, ParamIDs::filterTracking, -1.0f, 1.0f);
    makeKnob (clusterPresetKnob, clusterPresetAttachment, ParamIDs::clusterPreset, 0.0f, 5.0f);
    makeKnob (swarmControlRangeKnob, swarmControlRangeAttachment, ParamIDs::swarmControlRange, 0.0f, 1.0f);
    makeKnob (filterFreqFloorKnob, filterFreqFloorAttachment, ParamIDs::filterFrequencyFloor, 0.0f, 127.0f);
    makeKnob (filterResonanceKnob, filterResonanceAttachment, ParamIDs::filterResonance, 0.0f, 0.98f);
    makeKnob (filterSwarmFreqKnob, filterSwarmFreqAttachment, ParamIDs::filterSwarmFrequency, 0.0f, 1.0f);
    makeKnob (filterEnvelopeKnob, filterEnvelopeAttachment, ParamIDs::filterEnvelope, -1.0f, 1.0f);
    makeKnob (filterDriveKnob, filterDriveAttachment, ParamIDs::filterDrive, 1.0f, 10.0f);
    makeKnob (pitchFloorKnob, pitchFloorAttachment, ParamIDs::pitchFloor, -50.0f, 50.0f);
    makeKnob (attackKnob, attackAttachment, ParamIDs::attack, 0.0f, 5.0f);
    makeKnob (decayKnob, decayAttachment, ParamIDs::decay, 0.0f, 5.0f);
    makeKnob (sustainKnob, sustainAttachment, ParamIDs::sustain, 0.0f, 1.0f);
    makeKnob (releaseKnob, releaseAttachment, ParamIDs::release, 0.0f, 5.0f);
    makeKnob (pitchRangeKnob, pitchRangeAttachment, ParamIDs::pitchRange, 0.0f, 5.0f);

    auto& apvts = audioProcessor.apvts;

    for (size_t k = 0; k < oscButtons.size(); ++k)
    {
        auto& button = oscButtons[k];
        addAndMakeVisible (button);
        button.setButtonText (juce::String (k + 1));
        button.setLookAndFeel (&lookButton);
        button.setTooltip ("Osc " + juce::String (k + 1));
        oscButtonAttachments[k] = std::make_unique<ButtonAttachment> (apvts, ParamIDs::oscOn[k], button);
    }

    addAndMakeVisible (interruptButton);
    interruptButton.setLookAndFeel (&lookButtonW);
    interruptButton.setTooltip ("Audio Signal Interrupt");
    interruptButton.onClick = [this] { audioProcessor.voiceStopRequest.store (true); };

    const auto setUpButton = [this, &apvts] (juce::ToggleButton& button, std::unique_ptr<ButtonAttachment>& attachment,
                                             const char* paramID, juce::LookAndFeel& look)
    {
        addAndMakeVisible (button);
        attachment = std::make_unique<ButtonAttachment> (apvts, paramID, button);
        button.setLookAndFeel (&look);
        button.setTooltip (paramID);
    };

    setUpButton (filterTrackingSwitch, filterTrackingSwitchAttachment, ParamIDs::filterTrackingOn, lookSwitch);
    setUpButton (swarmFilterSwitch, swarmFilterSwitchAttachment, ParamIDs::swarmFilterControl, lookSwitch);
    setUpButton (powerSwitch, powerSwitchAttachment, ParamIDs::power, lookSwitch);
    setUpButton (sinSawSwitch, sinSawSwitchAttachment, ParamIDs::sinSaw, lookSwitch);
    setUpButton (aButton, aButtonAttachment, ParamIDs::aButton, lookButton);
    setUpButton (bButton, bButtonAttachment, ParamIDs::bButton, lookButton);

    const auto setUpRibbon = [this, &apvts] (RibbonSlider& ribbon, std::unique_ptr<SliderAttachment>& attachment,
                                             const juce::String& paramID)
    {
        ribbon.setSliderStyle (juce::Slider::LinearHorizontal);
        ribbon.setTextBoxStyle (juce::Slider::NoTextBox, true, 10, 10);
        ribbon.setRange (0.0, 1.0, 0.0);
        addAndMakeVisible (ribbon);
        attachment = std::make_unique<SliderAttachment> (apvts, paramID, ribbon);
    };

    setUpRibbon (pitchRibbon, pitchRibbonAttachment, ParamIDs::pitchRibbon);
    setUpRibbon (swarmRibbon, swarmRibbonAttachment, ParamIDs::swarmRibbon);
    pitchRibbon.onTouch = [this] (bool touched) { gateRibbon (touched); };

    for (auto* c : presetBar())
    {
        addAndMakeVisible (c);
        c->setLookAndFeel (&lookPreset);
    }

    presetBox.setTextWhenNothingSelected ("-- no preset --");

    menuButton.onClick = [this]
    {
        createMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (menuButton), menuCallback());
    };
    prevPresetButton.onClick = [this] { stepPreset (-1); };
    nextPresetButton.onClick = [this] { stepPreset (1); };
    savePresetButton.onClick = [this] { showSaveDialog(); };
    deletePresetButton.onClick = [this]
    {
        if (audioProcessor.presetManager.currentIndex >= 0)
            showDeleteDialog();
    };
    overwritePresetButton.onClick = [this] { report ("Preset Not Saved", overwritePreset()); };
    resetButton.onClick = [this] { resetPreset(); };
    presetBox.onChange = [this]
    {
        const auto id = presetBox.getSelectedId();

        if (id <= 0)
            return;

        auto& presets = audioProcessor.presetManager;
        presets.loadPresetByIndex (id - 1);
        audioProcessor.undoManager.clearUndoHistory();

        // An unreadable file loads nothing: show what is really current.
        if (presets.currentIndex != id - 1)
            updatePresetComboBox();
    };

    updatePresetComboBox();

    aboutPanel = std::make_unique<AboutPanel>();
    aboutPanel->onClose = [this] { aboutPanel->setVisible (false); };
    addChildComponent (*aboutPanel);
}

std::array<juce::Component*, 8> Murmex2AudioProcessorEditor::presetBar()
{
    return { &prevPresetButton, &nextPresetButton, &savePresetButton, &deletePresetButton,
             &overwritePresetButton, &resetButton, &presetBox, &menuButton };
}

void Murmex2AudioProcessorEditor::makeKnob (juce::Slider& knob, std::unique_ptr<SliderAttachment>& attachment,
                                            juce::String paramID, float minimum, float maximum)
{
    knob.setSliderStyle (juce::Slider::RotaryVerticalDrag);
    knob.setTextBoxStyle (juce::Slider::NoTextBox, true, 10, 10);
    knob.setRange (minimum, maximum, 0.0);
    knob.setTooltip (paramID);
    addAndMakeVisible (knob);
    attachment = std::make_unique<SliderAttachment> (audioProcessor.apvts, paramID, knob);
}

//==============================================================================
void Murmex2AudioProcessorEditor::resized()
{
    const auto w = getWidth();

    volumeKnob.setBounds (50, 85, 70, 70);
    filterTrackingKnob.setBounds (790, 85, 70, 70);
    filterSwarmFreqKnob.setBounds ((int) (w * 0.5 - 52.5), 215, 105, 105);
    filterFreqFloorKnob.setBounds ((int) (filterSwarmFreqKnob.getX() - 240.0),
                                   (int) (filterSwarmFreqKnob.getY() + 17.5), 70, 70);
    filterResonanceKnob.setBounds ((int) (filterFreqFloorKnob.getX() + 70.0 + 50.0), filterFreqFloorKnob.getY(), 70, 70);
    filterEnvelopeKnob.setBounds (filterSwarmFreqKnob.getRight() + 50, filterResonanceKnob.getY(), 70, 70);
    filterDriveKnob.setBounds (filterEnvelopeKnob.getRight() + 50, filterEnvelopeKnob.getY(), 70, 70);
    clusterPresetKnob.setBounds ((int) (w * 0.5 - 145.0), (int) (filterSwarmFreqKnob.getY() - 70.0), 70, 70);
    swarmControlRangeKnob.setBounds ((int) (w * 0.5 + 75.0), clusterPresetKnob.getY(), 70, 70);
    pitchFloorKnob.setBounds (volumeKnob.getX(), 335, 70, 70);
    pitchRangeKnob.setBounds (790, 335, 70, 70);
    attackKnob.setBounds (235, pitchFloorKnob.getY(), 70, 70);
    decayKnob.setBounds ((int) (attackKnob.getX() + 70.0 + 50.0), pitchFloorKnob.getY(), 70, 70);
    sustainKnob.setBounds ((int) (decayKnob.getX() + 70.0 + 50.0), pitchFloorKnob.getY(), 70, 70);
    releaseKnob.setBounds ((int) (sustainKnob.getX() + 70.0 + 50.0), pitchFloorKnob.getY(), 70, 70);

    interruptButton.setBounds (volumeKnob.getRight() + 21, volumeKnob.getY() + 21, 28, 28);
    swarmFilterSwitch.setBounds (clusterPresetKnob.getRight() + 40, clusterPresetKnob.getY() - 10, 55, 55);
    filterTrackingSwitch.setBounds (filterTrackingKnob.getX() - 59, interruptButton.getY() - 10, 55, 55);
    powerSwitch.setBounds (pitchRangeKnob.getX(), pitchRangeKnob.getY() - 105, 55, 55);

    // Spread evenly between the Filter Frequency Floor column and the Filter Drive column.
    const auto oscLeft = filterFreqFloorKnob.getRight();
    const auto oscSpan = (float) (filterDriveKnob.getX() - oscLeft);

    for (size_t k = 0; k < oscButtons.size(); ++k)
        oscButtons[k].setBounds (oscLeft + (int) ((float) k * oscSpan * 0.125f), volumeKnob.getY(), 35, 35);

    swarmRibbon.setBounds (128, 552, 661, 105);

    // The pitch ribbon keeps the swarm ribbon's proportions across the knob columns.
    const auto pitchRibbonWidth = pitchRangeKnob.getRight() - pitchFloorKnob.getX();
    const auto ribbonAspect = (float) swarmRibbon.getWidth() / (float) swarmRibbon.getHeight();
    pitchRibbon.setBounds (pitchFloorKnob.getX(), 440, pitchRibbonWidth, (int) ((float) pitchRibbonWidth / ribbonAspect));

    sinSawSwitch.setBounds (50, swarmRibbon.getY() + 15, 55, 55);
    aButton.setBounds (790, swarmRibbon.getY() + 27, 35, 35);
    bButton.setBounds (aButton.getRight() + 10, aButton.getY(), 35, 35);

    menuButton.setBounds (130, 15, 75, 32);
    prevPresetButton.setBounds (238, 15, 28, 32);
    presetBox.setBounds (272, 15, 422, 32);
    nextPresetButton.setBounds (700, 15, 28, 32);
    savePresetButton.setBounds (734, 15, 40, 32);
    deletePresetButton.setBounds (780, 15, 34, 32);
    overwritePresetButton.setBounds (820, 15, 34, 32);
    resetButton.setBounds (860, 15, 34, 32);

    if (aboutPanel != nullptr)
        aboutPanel->setBounds (getLocalBounds());

    rebuildCachedImages();
}

bool Murmex2AudioProcessorEditor::keyPressed (const juce::KeyPress& key)
{
    const auto modifiers = key.getModifiers().withoutMouseButtons().getRawFlags();
    auto code = key.getKeyCode();

    // Caps lock or shift may report a letter in upper case.
    if (code <= 255)
        code = (int) juce::CharacterFunctions::toLowerCase ((juce::juce_wchar) code);

    const auto command = juce::ModifierKeys::commandModifier;
    const auto commandShift = command | juce::ModifierKeys::shiftModifier;

    if (modifiers == command && code == 'z')
    {
        audioProcessor.undoManager.undo();
        return true;
    }

    if ((modifiers == commandShift && code == 'z') || (modifiers == command && code == 'y'))
    {
        audioProcessor.undoManager.redo();
        return true;
    }

    return false;
}

//==============================================================================
void Murmex2AudioProcessorEditor::timerCallback()
{
    // Catches a press or release that the ribbon's touch callback missed.
    gateRibbon (pitchRibbon.isMouseButtonDown());

    const auto aOn = audioProcessor.aButtonParam->load() > 0.5f;

    if (pitchFloorKnob.isEnabled() == aOn)
        pitchFloorKnob.setEnabled (! aOn);

    const auto modified = differsFromSnapshot();

    if (modified == modifiedShown)
        return;

    modifiedShown = modified;

    if (modified)
        presetBox.setText ("* " + presetNameShown(), juce::dontSendNotification);
    else
        updatePresetComboBox();
}

void Murmex2AudioProcessorEditor::gateRibbon (bool held)
{
    if (held == audioProcessor.ribbonGateDown.load())
        return;

    // With A on the keyboard plays and the ribbon only bends.
    if ((int) audioProcessor.aButtonParam->load() != 1)
    {
        if (held)
            audioProcessor.synth.noteOn (0, 0, 127.0f);
        else
            audioProcessor.synth.noteOff (0, 0, 127.0f, true);
    }

    audioProcessor.ribbonGateDown.store (held);
}

bool Murmex2AudioProcessorEditor::differsFromSnapshot() const
{
    const auto& snapshot = audioProcessor.presetManager.snapshot;
    const auto& parameters = audioProcessor.getParameters();
    const auto n = juce::jmin (snapshot.size(), parameters.size());

    for (int i = 0; i < n; ++i)
        if (std::abs (parameters.getUnchecked (i)->getValue() - snapshot.getUnchecked (i)) > 1.0e-6f)
            return true;

    return false;
}

juce::String Murmex2AudioProcessorEditor::presetNameShown() const
{
    const auto& name = audioProcessor.presetManager.currentPresetName;
    return name.isEmpty() ? PresetManager::UNSAVED : name;
}

//==============================================================================
void Murmex2AudioProcessorEditor::updatePresetComboBox()
{
    const auto& presets = audioProcessor.presetManager;

    presetBox.presets = &presets.entries;
    presetBox.menuLookAndFeel = &lookPreset;
    presetBox.clear (juce::dontSendNotification);

    for (int i = 0; i < presets.entries.size(); ++i)
        presetBox.addItem (presets.entries.getReference (i).name, i + 1);

    if (presets.currentIndex < 0)
        presetBox.setText (presetNameShown(), juce::dontSendNotification);
    else
        presetBox.setSelectedId (presets.currentIndex + 1, juce::dontSendNotification);

    modifiedShown = false;
}

void Murmex2AudioProcessorEditor::stepPreset (int direction)
{
    auto& presets = audioProcessor.presetManager;

    if (const auto n = presets.entries.size(); n > 0)
        presets.loadPresetByIndex (direction < 0 ? (n + juce::jmax (presets.currentIndex, 0) - 1) % n
                                                 : (presets.currentIndex + 1) % n);

    audioProcessor.undoManager.clearUndoHistory();
    updatePresetComboBox();
}

juce::Result Murmex2AudioProcessorEditor::savePresetAs (const juce::String& name, const juce::String& folder)
{
    auto& presets = audioProcessor.presetManager;

    if (const auto check = PresetManager::checkName (name); check.failed())
        return juce::Result::fail ("Could not save \"" + name + "\".\n" + check.getErrorMessage());

    const auto saved = presets.savePreset (name, folder);
    updatePresetComboBox();

    if (saved.wasOk())
        return saved;

    const auto file = presets.getFolderDir (folder).getChildFile (name + PresetManager::EXT);
    return juce::Result::fail ("Could not save " + file.getFullPathName() + ".\n" + saved.getErrorMessage());
}

juce::Result Murmex2AudioProcessorEditor::overwritePreset()
{
    const auto name = presetNameShown();

    if (name == PresetManager::UNSAVED)
        return juce::Result::ok();

    const auto& folder = audioProcessor.presetManager.currentPresetFolder;
    return savePresetAs (name, folder.isEmpty() ? userFolder : folder);
}

void Murmex2AudioProcessorEditor::resetPreset()
{
    audioProcessor.presetManager.resetToUnsaved();
    audioProcessor.undoManager.clearUndoHistory();
    updatePresetComboBox();
}

void Murmex2AudioProcessorEditor::showSaveDialog()
{
    auto* dialog = new juce::AlertWindow ("Save Preset", "Enter a name for this preset:",
                                          juce::MessageBoxIconType::NoIcon);
    dialog->addTextEditor ("name", presetNameShown(), {});
    dialog->addButton ("Save", 1, juce::KeyPress (juce::KeyPress::returnKey));
    dialog->addButton ("Cancel", 0, juce::KeyPress (juce::KeyPress::escapeKey));

    // The dialog is deleted only after its callback has run.
    dialog->enterModalState (true, juce::ModalCallbackFunction::create ([dialog, answer = saveDialogCallback()] (int result)
                             {
                                 answer (result, dialog->getTextEditorContents ("name"));
                             }), true);
}

std::function<void (int, const juce::String&)> Murmex2AudioProcessorEditor::saveDialogCallback()
{
    return [safeThis = SafePointer<Murmex2AudioProcessorEditor> (this)] (int result, const juce::String& typedName)
    {
        const auto name = typedName.trim();

        if (safeThis != nullptr && result == 1 && name.isNotEmpty())
            safeThis->report ("Preset Not Saved", safeThis->savePresetAs (name, userFolder));
    };
}

void Murmex2AudioProcessorEditor::showDeleteDialog()
{
    auto* dialog = new juce::AlertWindow ("Delete Preset", "Delete \"" + presetNameShown() + "\"?",
                                          juce::MessageBoxIconType::WarningIcon);
    dialog->addButton ("Delete", 1);
    dialog->addButton ("Cancel", 0);
    dialog->enterModalState (true, juce::ModalCallbackFunction::create (deleteDialogCallback()), true);
}

std::function<void (int)> Murmex2AudioProcessorEditor::deleteDialogCallback()
{
    return [safeThis = SafePointer<Murmex2AudioProcessorEditor> (this)] (int result)
    {
        if (safeThis == nullptr || result != 1)
            return;

        // The library as it is now, which may have changed while the dialog was open.
        auto& presets = safeThis->audioProcessor.presetManager;
        auto deleted = juce::Result::ok();

        if (juce::isPositiveAndBelow (presets.currentIndex, presets.entries.size()))
            deleted = presets.deleteCurrentPreset();

        safeThis->updatePresetComboBox();
        safeThis->report ("Preset Not Deleted", deleted);
    };
}

juce::PopupMenu Murmex2AudioProcessorEditor::createMenu()
{
    juce::PopupMenu menu;
    menu.setLookAndFeel (&lookPreset);
    menu.addSectionHeader ("MURMEX 2");
    menu.addItem (downloadManual, "Download Manual...");
    menu.addSeparator();
    menu.addItem (showAbout, "About...");
    menu.addItem (visitWebSite, makerWebAddress);
    return menu;
}

std::function<void (int)> Murmex2AudioProcessorEditor::menuCallback()
{
    return [safeThis = SafePointer<Murmex2AudioProcessorEditor> (this)] (int result)
    {
        if (safeThis != nullptr)
            safeThis->menuItemChosen (result);
    };
}

void Murmex2AudioProcessorEditor::menuItemChosen (int result)
{
    switch (result)
    {
        case downloadManual: juce::URL (makerWebAddress + manualPath).launchInDefaultBrowser(); break;
        case showAbout:      aboutPanel->setVisible (true); break;
        case visitWebSite:   juce::URL (makerWebAddress).launchInDefaultBrowser(); break;
        default:             break;
    }
}

void Murmex2AudioProcessorEditor::report (const juce::String& title, const juce::Result& result)
{
    if (result.failed() && reportFailure != nullptr)
        reportFailure (title, result.getErrorMessage());
}

//==============================================================================
void Murmex2AudioProcessorEditor::paint (juce::Graphics& g)
{
    // A host scale or a HiDPI screen shows up as the context's pixel density:
    // render the artwork at that density once, so that it stays sharp.
    const auto scale = g.getInternalContext().getPhysicalPixelScaleFactor();

    if (std::abs (scale - cacheScale) > 0.01f)
    {
        cacheScale = scale;
        rebuildCachedImages();
    }

    if (panelCache.isValid())
        g.drawImageTransformed (panelCache, juce::AffineTransform::scale (1.0f / cacheScale));
}

void Murmex2AudioProcessorEditor::paintOverChildren (juce::Graphics& g)
{
    if (overlayCache.isValid())
        g.drawImageTransformed (overlayCache, juce::AffineTransform::scale (1.0f / cacheScale));
}

void Murmex2AudioProcessorEditor::rebuildCachedImages()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto pixelWidth = juce::roundToInt ((float) w * cacheScale);
    const auto pixelHeight = juce::roundToInt ((float) h * cacheScale);

    if (pixelWidth <= 0 || pixelHeight <= 0)
        return;

    const auto pixelTransform = juce::AffineTransform::scale (cacheScale);

    panelCache = juce::Image (juce::Image::ARGB, pixelWidth, pixelHeight, false);

    {
        juce::Graphics g (panelCache);
        g.addTransform (pixelTransform);

        // A plain teal under the texture: the panel stays opaque without it, and
        // at the edges, where the stretched texture covers pixels only partly.
        g.fillAll (juce::Colour (0xFF1C4542));
        g.drawImage (backgroundImage, 0, 0, w, h, 0, 0, backgroundImage.getWidth(), backgroundImage.getHeight());

        for (auto* knob : { &volumeKnob, &filterTrackingKnob, &clusterPresetKnob, &swarmControlRangeKnob,
                            &filterFreqFloorKnob, &filterResonanceKnob, &filterSwarmFreqKnob, &filterEnvelopeKnob,
                            &filterDriveKnob, &pitchFloorKnob, &attackKnob, &decayKnob, &sustainKnob, &releaseKnob,
                            &pitchRangeKnob })
        {
            const auto b = knob->getBounds();
            const auto r = (float) juce::jmin (b.getWidth(), b.getHeight()) * 0.44f;
            const auto cx = (float) (b.getX() + b.getWidth() / 2);
            const auto cy = (float) (b.getY() + b.getHeight() / 2);

            for (auto k : { 8.4f, 7.0f, 5.6f, 4.2f, 2.8f, 1.4f })
            {
                g.setColour (juce::Colour (0x0C000000));
                g.fillEllipse (cx - r - k + 1.5f, cy - r - k + 3.5f, 2.0f * (r + k), 2.0f * (r + k));
            }
        }

        g.setColour (juce::Colour (0xFF0A0E0A));
        g.fillRect (0, 0, w, 62);
        g.setColour (juce::Colour (0xFF2E4A2C));
        g.fillRect (0, 61, w, 1);
        g.setColour (juce::Colour (0xFF162816));
        g.fillRect (0, 62, w, 2);

        g.setFont (monospaced (20.0f, juce::Font::bold));

        // Two faint copies either side of the title make its glow.
        const std::pair<juce::uint32, float> titleLayers[] { { 0x21AAE0A0, 7.0f }, { 0x21AAE0A0, 9.0f }, { 0xFFAAE0A0, 8.0f } };

        for (const auto& [colour, x] : titleLayers)
        {
            g.setColour (juce::Colour (colour));
            g.drawText ("MURMEX", juce::Rectangle<float> (x, 7.0f, 185.0f, 26.0f), juce::Justification::centredLeft, true);
        }

        g.setFont (monospaced (13.0f, juce::Font::bold));
        g.setColour (juce::Colour (0xFF7ACC88));
        g.drawText ("2", juce::Rectangle<float> (103.0f, 5.0f, 20.0f, 18.0f), juce::Justification::centredLeft, true);

        g.setFont (monospaced (9.0f));
        g.setColour (juce::Colour (0xFF3A6050));
        g.drawText ("synthesizer", juce::Rectangle<float> (9.0f, 36.0f, 175.0f, 12.0f), juce::Justification::centredLeft, true);

        g.setColour (juce::Colour (0xFF2E4A2C));
        g.fillRect (220, 10, 1, 42);

        const auto drawScrew = [&g] (float cx, float cy)
        {
            const juce::Rectangle<float> head (cx - 6.0f, cy - 6.0f, 12.0f, 12.0f);

            g.setColour (juce::Colour (0x73000000));
            g.fillEllipse (cx - 6.5f, cy - 5.0f, 13.0f, 13.0f);
            g.setColour (juce::Colour (0xFF28180A));
            g.fillEllipse (head);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xB2000000), cx, cy - 6.0f,
                                                     juce::Colour (0x00000000), cx, cy + 2.4f, false));
            g.fillEllipse (head);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0x00000000), cx, cy,
                                                     juce::Colour (0x4C907050), cx + 3.6f, cy + 3.6f, true));
            g.fillEllipse (head);
            g.setColour (juce::Colour (0x8C907050));
            g.drawEllipse (cx - 5.5f, cy - 5.5f, 11.0f, 11.0f, 0.8f);
            g.setColour (juce::Colour (0xFF100800));
            g.fillRect (cx - 4.0f, cy - 1.0f, 8.0f, 2.0f);
            g.setColour (juce::Colour (0x14FFFFFF));
            g.fillRect (cx - 4.0f, cy - 1.0f, 8.0f, 1.0f);
        };

        drawScrew (30.0f, 80.0f);
        drawScrew ((float) w - 30.0f, 80.0f);
        drawScrew (30.0f, (float) h - 30.0f);
        drawScrew ((float) w - 30.0f, (float) h - 30.0f);

        g.setColour (juce::Colours::white);
        g.setFont (20.0f);

        const auto above = [] (const juce::Component& c, int distance) { return c.getBounds().translated (0, -distance); };
        const auto below = [] (const juce::Component& c) { return c.getBounds().translated (0, c.getHeight()); };

        const std::pair<const char*, juce::Rectangle<int>> labels[] {
            { "V", above (volumeKnob, 45) },
            { "+/-", above (filterTrackingKnob, 45) },
            { "I", above (interruptButton, 33) },
            { "T", above (filterTrackingSwitch, 33) },
            { "F/SW", above (filterSwarmFreqKnob, 65) },
            { "F", above (filterFreqFloorKnob, 45) },
            { "Q", above (filterResonanceKnob, 45) },
            { "N", above (filterEnvelopeKnob, 45) },
            { "D", above (filterDriveKnob, 45) },
            { "C", above (clusterPresetKnob, 45) },
            { "R", above (swarmControlRangeKnob, 45) },
            { "X", above (swarmFilterSwitch, 22) },
            { "On/Off", above (powerSwitch, 22) },
            { "F", above (pitchFloorKnob, 45) },
            { "R", above (pitchRangeKnob, 45) },
            { "A", above (attackKnob, 45) },
            { "D", above (decayKnob, 45) },
            { "S", above (sustainKnob, 45) },
            { "R", above (releaseKnob, 45) },
            { "Saw/Sin", sinSawSwitch.getBounds().translated (-20, 22).withWidth (100) },
            { "A", below (aButton) },
            { "B", below (bButton) },
        };

        for (const auto& [text, area] : labels)
            g.drawFittedText (text, area, juce::Justification::centred, 1, 0.0f);
    }

    overlayCache = juce::Image (juce::Image::ARGB, pixelWidth, pixelHeight, true);

    juce::Graphics g (overlayCache);
    g.addTransform (pixelTransform);

    juce::ColourGradient vignette (juce::Colour (0x00000000), (float) w * 0.5f, (float) h * 0.5f,
                                   juce::Colour (0x61000000), 0.0f, 0.0f, true);
    vignette.addColour (0.6, juce::Colour (0x00000000));
    g.setGradientFill (vignette);
    g.fillRect (0, 0, w, h);

    const auto credit = juce::String::fromUTF8 ("Design e DSP \xc2\xb7 Orvandi");
    g.setFont (juce::Font (10.0f, juce::Font::italic));
    g.setColour (juce::Colour (0x80000000));
    g.drawFittedText (credit, { w - 255, h - 16, 248, 14 }, juce::Justification::centredRight, 1, 0.0f);
    g.setColour (juce::Colour (0x66FFFFFF));
    g.drawFittedText (credit, { w - 256, h - 17, 248, 14 }, juce::Justification::centredRight, 1, 0.0f);
}

//==============================================================================
juce::Image renderEditorSnapshot (Murmex2AudioProcessor& processor, float scale)
{
    Murmex2AudioProcessorEditor editor (processor);
    juce::Image image (juce::Image::ARGB, juce::roundToInt ((float) editor.getWidth() * scale),
                       juce::roundToInt ((float) editor.getHeight() * scale), true);

    juce::Graphics g (image);
    g.addTransform (juce::AffineTransform::scale (scale));
    editor.paintEntireComponent (g, true);
    return image;
}
