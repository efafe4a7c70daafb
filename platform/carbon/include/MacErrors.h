// Memory, file and alias result codes shared by every platform library.
#pragma once

enum {
  paramErr = -50,
  memFullErr = -108,
  nilHandleErr = -109,
  memWZErr = -111,
  memAdrErr = -110,
  fnfErr = -43,
  ioErr = -36,
  eofErr = -39,
  fnOpnErr = -38,
  dirNFErr = -120,
  permErr = -54,
  dupFNErr = -48,
  opWrErr = -49,  // the file is already open with write permission
  nsvErr = -35,
  bdNamErr = -37,
  notAFileErr = -1302,
  unimpErr = -4,
};
