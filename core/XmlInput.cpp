#include "core/XmlInput.h"

#include <cstring>

namespace oxlade
{
namespace
{
    // Deeper than anything we write by far; JUCE's parser recurses once per level.
    constexpr int maxElementDepth = 64;

    /** True when the text declares a document type (JUCE expands the entities a DTD defines,
        so a few hundred bytes of nested entities grow without bound), holds a processing
        instruction other than the leading XML declaration, or nests elements deeper than
        maxElementDepth. Our states and presets have none of these. The depth count is a
        conservative scan: markup inside comments or CDATA only makes it count higher. */
    bool hasUnsafeStructure (const char* text, size_t length)
    {
        size_t firstMarkup = 0;
        while (firstMarkup < length && juce::CharacterFunctions::isWhitespace (text[firstMarkup]))
            ++firstMarkup;
        int depth = 0;
        for (size_t i = 0; i + 1 < length; ++i)
        {
            if (text[i] == '<')
            {
                const char next = text[i + 1];
                if (next == '!')
                {
                    if (length - i >= 9 && std::memcmp (text + i, "<!DOCTYPE", 9) == 0)
                        return true;
                    if (length - i >= 8 && std::memcmp (text + i, "<!ENTITY", 8) == 0)
                        return true;
                }
                else if (next == '?')
                {
                    // Only the XML declaration, at the very start. JUCE's parser never gets
                    // past a processing instruction followed by text inside an element.
                    if (i != firstMarkup)
                        return true;
                }
                else if (next == '/')
                {
                    --depth;
                }
                else
                {
                    if (++depth > maxElementDepth)
                        return true;
                }
            }
            else if (text[i] == '/' && text[i + 1] == '>')
            {
                --depth;
            }
        }
        return false;
    }
} // namespace

std::unique_ptr<juce::XmlElement> parseXmlText (const char* text, size_t size)
{
    if (text == nullptr || size == 0 || size > (size_t) std::numeric_limits<int>::max())
        return nullptr;
    if (size >= 3 && (juce::uint8) text[0] == 0xef && (juce::uint8) text[1] == 0xbb && (juce::uint8) text[2] == 0xbf)
    {
        text += 3;
        size -= 3;
    }
    const auto* end = static_cast<const char*> (std::memchr (text, 0, size));
    const auto length = end != nullptr ? (size_t) (end - text) : size;
    if (length == 0 || !juce::CharPointer_UTF8::isValidString (text, (int) length) || hasUnsafeStructure (text, length))
        return nullptr;
    return juce::parseXML (juce::String::fromUTF8 (text, (int) length));
}

std::unique_ptr<juce::XmlElement> xmlFromStateData (const void* data, int sizeInBytes)
{
    constexpr juce::uint32 magicXmlNumber = 0x21324356; // what copyXmlToBinary writes
    if (data == nullptr || sizeInBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != magicXmlNumber)
        return nullptr;
    const auto stringLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
    if (stringLength <= 0)
        return nullptr;
    return parseXmlText (static_cast<const char*> (data) + 8, (size_t) juce::jmin (sizeInBytes - 8, stringLength));
}

std::unique_ptr<juce::XmlElement> xmlFromFile (const juce::File& file, juce::int64 maxBytes)
{
    if (!file.existsAsFile() || file.getSize() > maxBytes)
        return nullptr;
    juce::MemoryBlock bytes;
    if (!file.loadFileAsData (bytes))
        return nullptr;
    return parseXmlText (static_cast<const char*> (bytes.getData()), bytes.getSize());
}
} // namespace oxlade
