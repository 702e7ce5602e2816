// Keeps the station library non-empty while its subsystems are being added.
namespace station { int stationLibraryAnchor = 0; }
