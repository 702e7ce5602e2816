// Keeps the platform library non-empty while its seams are being added.
namespace platform { int platformLibraryAnchor = 0; }
