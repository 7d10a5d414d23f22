#pragma once
// The five identity values of the device's status page, found by their
// visible labels without parsing the HTML: after a label, the tags that
// follow one another are skipped and the text up to the next '<' is taken.
#include "http/device_info.h"

// The labels in the order they are applied.
inline constexpr const char* status_labels[5] = {"Product Name:", "MAC Address:", "Software Version:",
                                                 "Hardware Version:", "Serial Number:"};

// Reads the value after the first occurrence of `label` in the terminated
// `text` into `field` (at most `limit` characters and a zero byte). Returns
// `field`, or nullptr with the field unchanged when the label, or a '>' after
// it, or the end of a skipped tag is missing.
char* scrape_label(const char* text, const char* label, char* field, int limit);

// Applies scrape_label once per label, each with the limit 127; a label that
// the text lacks leaves its field as it was.
void scrape_status_fields(const char* text, DeviceInfo& info);
