#pragma once
// Checks a firmware image before it goes into a package, so that a package
// never carries an image the upgrader cannot serve or show.
#include <cstdint>
#include <string>
#include <vector>

// Empty when the image is fit for a package; otherwise what is wrong with it.
std::string check_image(const std::vector<uint8_t>& image);

// Reads and checks a file: the message names the file.
std::string check_image_file(const std::string& path);
