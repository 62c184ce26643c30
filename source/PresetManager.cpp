#include "PresetManager.h"
#include "Parameters.h"

#include <charconv>
#include <optional>
#include <string_view>

const juce::String PresetManager::EXT { ".mrmx" };
const juce::String PresetManager::UNSAVED { "-- unsaved --" };

namespace
{
    // The names under which the parameter tree stores its values.
    const juce::Identifier paramType { "PARAM" };
    const juce::Identifier idProperty { "id" };
    const juce::Identifier valueProperty { "value" };

    const juce::Identifier currentNameAttribute { "currentPresetName" };
    const juce::Identifier currentFolderAttribute { "currentPresetFolder" };
    const juce::String snapshotTag { "PresetSnapshot" };

    const juce::String factoryFolder { "Factory" };
    const juce::String userFolder { "User" };

    constexpr int maxFileNameBytes = 255;

    juce::Result checkFileName (const juce::String& name, const juce::String& what, int suffixBytes)
    {
        if (name.trim().isEmpty())
            return juce::Result::fail ("The " + what + " name is empty.");

        if (name == "." || name == "..")
            return juce::Result::fail ("\"" + name + "\" cannot be a " + what + " name.");

        for (auto c : name)
        {
            if (c == '/' || c == '\\')
                return juce::Result::fail ("A " + what + " name cannot contain / or \\.");

            if (c < 0x20 || (c >= 0x7f && c < 0xa0))
                return juce::Result::fail ("A " + what + " name cannot contain control characters.");
        }

        if ((int) name.getNumBytesAsUTF8() + suffixBytes > maxFileNameBytes)
            return juce::Result::fail ("The " + what + " name is too long for a file name.");

        return juce::Result::ok();
    }

    // Values come from files and hosts. A parameter takes any finite number,
    // limited to its range; NaN, infinities, text that is no number and a
    // missing value give its default (the parameter's own conversion would
    // pass NaN on).
    // A finite number written in the C locale's form, whatever the C++ locale.
    std::optional<double> parseNumber (const juce::String& value)
    {
        const auto text = value.trim().toStdString();
        const auto* end = text.data() + text.size();
        auto number = 0.0;
        const auto [parsedTo, error] = std::from_chars (text.data(), end, number);

        if (error != std::errc() || parsedTo != end || ! std::isfinite (number))
            return std::nullopt;

        return number;
    }

    float sanitisedValue (const juce::var& value, const ParamSpec& parameterRow)
    {
        if (const auto number = parseNumber (value.toString()))
            return (float) juce::jlimit ((double) parameterRow.minimum, (double) parameterRow.maximum, *number);

        return parameterRow.defaultValue;
    }

    // The tree keeps the type it was made with, so a root tag that matched
    // only ignoring case becomes the parameter tree's own type.
    juce::ValueTree treeFromXml (const juce::XmlElement& xml, const juce::Identifier& type)
    {
        juce::ValueTree tree (type);
        tree.copyPropertiesAndChildrenFrom (juce::ValueTree::fromXml (xml), nullptr);
        return tree;
    }

    // Replacing the tree connects a parameter to any child that carries its id,
    // whatever the child's type.
    bool hasChildWithId (const juce::ValueTree& tree, const char* id)
    {
        for (const auto& child : tree)
            if (child[idProperty].toString() == id)
                return true;

        return false;
    }

    template <typename KeyFunction>
    void sortIgnoringCase (juce::Array<juce::File>& files, KeyFunction key)
    {
        std::sort (files.begin(), files.end(), [&key] (const juce::File& a, const juce::File& b)
        {
            return key (a).compareIgnoreCase (key (b)) < 0;
        });
    }
}

PresetManager::PresetManager (juce::AudioProcessorValueTreeState& state, juce::File presetRoot)
    : apvts (state), root (std::move (presetRoot))
{
}

juce::File PresetManager::getDefaultRoot()
{
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Audio/Presets/Halvenor/Murmex2");
}

void PresetManager::prepareFolders()
{
    root.createDirectory();

    const auto factory = getFolderDir (factoryFolder);
    factory.createDirectory();
    getFolderDir (userFolder).createDirectory();

    for (const auto& file : root.findChildFiles (juce::File::findFiles, false, "*" + EXT))
        file.moveFileTo (factory.getChildFile (file.getFileName()));
}

juce::File PresetManager::getFolderDir (const juce::String& folderName) const
{
    return folderName.isEmpty() ? root : root.getChildFile (folderName);
}

void PresetManager::rescan()
{
    entries.clear();

    auto folders = root.findChildFiles (juce::File::findDirectories, false, "*");
    sortIgnoringCase (folders, [] (const juce::File& f) { return f.getFileName(); });

    for (const auto& folder : folders)
    {
        auto files = folder.findChildFiles (juce::File::findFiles, false, "*" + EXT);
        sortIgnoringCase (files, [] (const juce::File& f) { return f.getFileNameWithoutExtension(); });

        for (const auto& file : files)
            entries.add ({ folder.getFileName(), file.getFileNameWithoutExtension(), file });
    }

    currentIndex = findCurrentIndex();
}

void PresetManager::loadPresetByIndex (int index)
{
    if (! juce::isPositiveAndBelow (index, entries.size()))
        return;

    const auto entry = entries.getReference (index);
    juce::MemoryBlock bytes;

    if (! entry.file.loadFileAsData (bytes) || ! isParsableXml (static_cast<const char*> (bytes.getData()), bytes.getSize()))
        return;

    const auto xml = juce::parseXML (bytes.toString());
    const auto type = apvts.state.getType();

    if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (type.toString()))
        return;

    replaceTree (treeFromXml (*xml, type));

    currentIndex = index;
    currentPresetName = entry.name;
    currentPresetFolder = entry.folder;
    captureSnapshot();
}

void PresetManager::captureSnapshot()
{
    snapshot.clearQuick();

    for (auto* parameter : apvts.processor.getParameters())
        snapshot.add (parameter->getValue());
}

juce::Result PresetManager::savePreset (const juce::String& name, const juce::String& folder)
{
    if (const auto check = checkName (name); check.failed())
        return check;

    if (const auto check = checkFolderName (folder); check.failed())
        return check;

    const auto dir = getFolderDir (folder);

    if (const auto created = dir.createDirectory(); created.failed())
        return juce::Result::fail ("The folder \"" + folder + "\" could not be created: " + created.getErrorMessage());

    const auto target = dir.getChildFile (name + EXT);

    if (target.isDirectory())
        return juce::Result::fail ("A folder named \"" + target.getFileName() + "\" is in the way.");

    auto xml = createTreeXml();
    xml->setAttribute ("presetName", name);
    xml->setAttribute ("presetFolder", folder);

    // Written beside the target under a short name that the listing skips, then
    // renamed over it: a crash or a full disk never leaves a cut-off preset, and
    // a name close to the length limit still fits.
    const juce::TemporaryFile temp (target, dir.getNonexistentChildFile (".saving", ".tmp", false));

    {
        juce::FileOutputStream out (temp.getFile());

        if (out.openedOk())
        {
            xml->writeTo (out);
            out.flush();
        }

        if (out.getStatus().failed())
            return juce::Result::fail ("\"" + name + "\" could not be written: " + out.getStatus().getErrorMessage());
    }

    if (! temp.overwriteTargetFileWithTemporary())
        return juce::Result::fail ("\"" + target.getFullPathName() + "\" could not be replaced.");

    currentPresetName = name;
    currentPresetFolder = folder;
    captureSnapshot();
    rescan();
    return juce::Result::ok();
}

juce::Result PresetManager::deleteCurrentPreset()
{
    if (! juce::isPositiveAndBelow (currentIndex, entries.size()))
        return juce::Result::fail ("No preset is current.");

    const auto file = entries.getReference (currentIndex).file;

    if (! file.deleteFile())
        return juce::Result::fail ("\"" + file.getFullPathName() + "\" could not be deleted.");

    currentPresetName.clear();
    currentPresetFolder.clear();
    snapshot.clear();
    rescan();
    return juce::Result::ok();
}

void PresetManager::resetToUnsaved()
{
    replaceTree (juce::ValueTree (apvts.state.getType()));

    currentIndex = -1;
    currentPresetName.clear();
    currentPresetFolder.clear();
    snapshot.clear();
}

juce::Result PresetManager::checkName (const juce::String& name)
{
    return checkFileName (name, "preset", (int) EXT.getNumBytesAsUTF8());
}

juce::Result PresetManager::checkFolderName (const juce::String& folderName)
{
    return checkFileName (folderName, "folder", 0);
}

std::unique_ptr<juce::XmlElement> PresetManager::createStateXml() const
{
    auto xml = createTreeXml();
    xml->setAttribute (currentNameAttribute, currentPresetName.isEmpty() ? UNSAVED : currentPresetName);
    xml->setAttribute (currentFolderAttribute, currentPresetFolder);

    if (! snapshot.isEmpty())
    {
        auto* element = xml->createNewChildElement (snapshotTag);

        for (int i = 0; i < snapshot.size(); ++i)
        {
            const auto key = "p" + juce::String (i);
            element->setAttribute (key, serialiseNumber ((double) snapshot[i]));
        }
    }

    return xml;
}

void PresetManager::restoreState (const juce::XmlElement& stateXml)
{
    const auto type = apvts.state.getType();

    if (! stateXml.getTagName().equalsIgnoreCase (type.toString()))
        return;

    const auto name = stateXml.getStringAttribute (currentNameAttribute);
    const auto folder = stateXml.getStringAttribute (currentFolderAttribute);

    replaceTree (treeFromXml (stateXml, type));

    // A stored state is outside input just like a typed name: one that names an
    // unsafe preset or folder is restored as unsaved, so that no later save of
    // the current preset can turn that name into a path.
    if (name.isEmpty() || name == UNSAVED || checkName (name).failed()
        || (folder.isNotEmpty() && checkFolderName (folder).failed()))
        return;

    currentPresetName = name;
    currentPresetFolder = folder;
    currentIndex = findCurrentIndex();

    for (const auto* child : stateXml.getChildIterator())
    {
        if (child->getTagName().equalsIgnoreCase (snapshotTag))
        {
            juce::Array<float> values;

            for (juce::String key ("p0"); child->hasAttribute (key); key = "p" + juce::String (values.size()))
                values.add ((float) parseNumber (child->getStringAttribute (key)).value_or (0.0));

            if (! values.isEmpty())
                snapshot = std::move (values);

            return;
        }
    }
}

void PresetManager::replaceTree (juce::ValueTree newState)
{
    // The tree writes a value into a child only when that value changes, so a
    // child left without one would stay so in every state and preset saved
    // meanwhile: each child gets its value now, the default where it has none.
    for (auto child : newState)
        if (const auto* parameterRow = findParamSpec (child[idProperty].toString()))
            child.setProperty (valueProperty, sanitisedValue (child[valueProperty], *parameterRow), nullptr);

    // The tree would give a parameter without a child its default; it keeps
    // its current value instead.
    for (const auto& parameterRow : parameterTable)
        if (! hasChildWithId (newState, parameterRow.id))
            newState.appendChild (juce::ValueTree (paramType, { { idProperty, parameterRow.id },
                                                                { valueProperty, apvts.getRawParameterValue (parameterRow.id)->load() } }),
                                  nullptr);

    apvts.replaceState (newState);
}

std::unique_ptr<juce::XmlElement> PresetManager::createTreeXml() const
{
    const auto tree = apvts.copyState();
    auto xml = tree.createXml();

    // The values in the C locale's form, whatever locale the host runs in.
    for (int i = 0; i < tree.getNumChildren(); ++i)
        if (const auto value = tree.getChild (i)[valueProperty]; value.isDouble() || value.isInt())
            xml->getChildElement (i)->setAttribute (valueProperty, serialiseNumber ((double) value));

    // A restored state lives on in the tree; its name, folder and snapshot
    // are stale by now and are written afresh by the state save.
    xml->removeAttribute (currentNameAttribute);
    xml->removeAttribute (currentFolderAttribute);

    for (auto* child = xml->getFirstChildElement(); child != nullptr;)
    {
        auto* next = child->getNextElement();

        if (child->getTagName().equalsIgnoreCase (snapshotTag))
            xml->removeChildElement (child, true);

        child = next;
    }

    return xml;
}

int PresetManager::findCurrentIndex() const
{
    for (int i = 0; i < entries.size(); ++i)
        if (entries.getReference (i).name == currentPresetName && entries.getReference (i).folder == currentPresetFolder)
            return i;

    return -1;
}

bool PresetManager::isParsableXml (const char* utf8, size_t numBytes)
{
    if (numBytes > (size_t) std::numeric_limits<int>::max()
        || ! juce::CharPointer_UTF8::isValidString (utf8, (int) numBytes))
        return false;

    const std::string_view text (utf8, numBytes);
    return text.find ("<?", 1) == std::string_view::npos;
}

juce::String PresetManager::serialiseNumber (double value)
{
    // JUCE's own form of a double, with as many digits, but never through the
    // C++ locale, which may write "0,5".
    char buffer[64];
    const auto magnitude = std::abs (value);
    std::string text;

    const auto trimFraction = [] (std::string digits)
    {
        const auto point = digits.find ('.');

        if (point != std::string::npos)
            while (digits.size() > point + 2 && digits.back() == '0')
                digits.pop_back();

        return digits;
    };

    if (magnitude >= 1.0e6 || magnitude <= 1.0e-5)
    {
        const auto written = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::scientific, 15);
        const std::string scientific (buffer, written.ptr);
        const auto e = scientific.find ('e');
        const auto negativeExponent = scientific[e + 1] == '-';
        auto exponent = scientific.substr (e + 2);
        exponent.erase (0, exponent.find_first_not_of ('0'));

        text = trimFraction (scientific.substr (0, e));

        if (! exponent.empty())
            text += (negativeExponent ? "e-" : "e") + exponent;
    }
    else if ((double) (int) value == value)
    {
        text = std::string (buffer, std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::fixed, 1).ptr);
    }
    else
    {
        const int decimals = magnitude < 1.0 ? (magnitude >= 1.0e-1 ? 16 : magnitude >= 1.0e-2 ? 17 : magnitude >= 1.0e-3 ? 18 : magnitude >= 1.0e-4 ? 19 : 20)
                           : magnitude < 1.0e1 ? 15 : magnitude < 1.0e2 ? 14 : magnitude < 1.0e3 ? 13
                           : magnitude < 1.0e4 ? 12 : magnitude < 1.0e5 ? 11 : 10;
        text = trimFraction (std::string (buffer, std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::fixed, decimals).ptr));
    }

    return juce::String (text);
}
