#pragma once

#include <juce_core/juce_core.h>
#include <memory>

namespace oxlade
{
/** Parses XML text of `size` bytes (an optional UTF-8 byte-order mark, then UTF-8 up to the
    first NUL or the end). Text that is not valid UTF-8 is refused before it reaches the parser:
    JUCE's character iteration steps over the end of a buffer that ends inside a malformed
    sequence. A document type declaration (its entities expand exponentially), a processing
    instruction after the XML declaration (JUCE's parser can loop forever on one) and nesting
    far deeper than our documents use are refused too. Returns nullptr for anything that is not a
    well-formed document. */
std::unique_ptr<juce::XmlElement> parseXmlText (const char* text, size_t size);

/** The XML of a host state written by copyXmlToBinary (magic number, length, text), read with
    the same rules as AudioProcessor::getXmlFromBinary but refusing malformed UTF-8. */
std::unique_ptr<juce::XmlElement> xmlFromStateData (const void* data, int sizeInBytes);

/** The XML of a file of at most `maxBytes` bytes (larger files are refused unread). */
std::unique_ptr<juce::XmlElement> xmlFromFile (const juce::File& file, juce::int64 maxBytes);
} // namespace oxlade
