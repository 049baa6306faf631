// The record that identification of the simulated transmitter leaves in the database.
#pragma once

#include "record/record.h"

inline TDaneIPPC IdentifiedRecord() {
  TDaneIPPC r;
  r.message = {0x2C, 0xF4, 0x96, 0x04, 0xC1, 0x4E, 0x82, 0xD8, 0x14, 0x40, 0x7D, 0x31,
               0xC3, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  r.pollingAddress = 0;
  r.expansionCode = 254;
  r.manufacturerId = 63;
  r.deviceType = 1;
  r.preambles = 5;
  r.universalRevision = 5;
  r.specificRevision = 3;
  r.softwareRevision = 1;
  r.hardwareRevision = 1;
  r.deviceFlags = 5;
  r.alarmCode = 250;
  r.transferFunction = 0;
  r.unitCode = 12;
  r.writeProtect = 250;
  r.distributorCode = 63;
  r.deviceId = 12556;
  r.sensorSerial = 0;
  r.upperRange = 249.99609375f;
  r.lowerRange = 0.0f;
  r.upperSensorLimit = 249.99609375f;
  r.lowerSensorLimit = 0.0f;
  r.minimumSpan = 24.99951171875f;
  r.damping = 0.0f;
  r.tag = {0x41, 0x0C, 0x71, 0xCF, 0x3D, 0x20};
  r.descriptor = {0x23, 0x24, 0xF0, 0xD2, 0x08, 0x20, 0x82, 0x08, 0x20, 0x82, 0x08, 0x20};
  r.dateDay = 31;
  r.dateMonth = 8;
  r.dateYear = 100;
  r.recordYear = 2026;
  r.recordDay = 7;
  r.recordMonth = 12;
  r.assemblyNumber = 11234;
  return r;
}
