// Keeps the library non-empty until its first sources land.
namespace vistrel {
int regionsLibraryAnchor = 0;
}
