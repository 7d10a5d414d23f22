#pragma once
// The five identity values read from the device's status page.

struct DeviceInfo {
  char product_name[128];
  char mac_address[128];
  char software_version[128];
  char hardware_version[128];
  char serial_number[128];
};
