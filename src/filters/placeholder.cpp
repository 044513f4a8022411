// Keeps the library non-empty until its first sources land.
namespace vistrel {
int filtersLibraryAnchor = 0;
}
