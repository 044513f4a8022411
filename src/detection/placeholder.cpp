// Keeps the library non-empty until its first sources land.
namespace vistrel {
int detectionLibraryAnchor = 0;
}
