#pragma once
// Numeric command ids of the workstation. They keep the historical values so
// that menus, accelerators and plug-in ranges stay stable.

namespace vistrel {

enum class CommandId : int {
    // File
    FileOpen = 57601,
    FileClose = 57602,
    FileSave = 57603,
    FileSaveAs = 57604,
    FileMru1 = 57616,  // recent files: FileMru1 .. FileMru1 + 5
    AppExit = 57665,
    AppAbout = 57664,
    ColouredImagesOptions = 32778,
    PgxSavingOptions = 33100,
    OriginalImageOptions = 33101,
    DicomReadingOptions = 33102,
    // Image
    SetResolution = 33104,
    CloseAll = 33035,
    FilePrint = 57607,
    FilePrintDirect = 57608,
    FilePrintPreview = 57609,
    // View
    ZoomIn = 32808,
    ZoomOut = 32809,
    ActualPixels = 32810,
    ZoomToFit = 32811,
    WindowBits = 32959,
    WindowValues = 32961,
    StandardToolbar = 59392,
    StatusBar = 59393,
    MorphologyToolbar = 33038,
    UserToolbar = 33039,
    RadiologistsInterface = 33037,
    // Fit modes 0..4 in order
    FitScreen = 32815,
    FitLargeToScreen = 32816,
    FitWindow = 32817,
    FitLargeToWindow = 32818,
    FitCasePreview = 32819,
    // Mouse modes 0..4 in order
    MouseRoi = 32837,
    MouseRuler = 32838,
    MouseDrawRos = 32839,
    MouseSrdmRoi = 32840,
    MouseWinLev = 32841,
    // View selection
    ShowOriginal = 32806,
    CropRoi = 32875,
    OpenRoiInNewWindow = 32876,
    DeselectRoi = 32877,
    ComputeSrdm = 32874,
    ComputeGlcm = 33054,
    PutTextureNextToRoi = 33050,
    RulerGrayLevels = 32895,
    Measure = 32896,
    // Basic image operations
    BrightnessContrast = 32781,
    Histogram = 32782,
    EqualizeHistogram = 32783,
    Rotate180 = 32784,
    Rotate90Cw = 32785,
    Rotate90Ccw = 32786,
    FlipHorizontal = 32787,
    FlipVertical = 32788,
    Reverse = 32790,
    SwapBytes = 32792,
    Depth16 = 32793,  // Depth16 .. Depth8: 16, 14, 12, 8 bits
    Depth14 = 32794,
    Depth12 = 32795,
    Depth8 = 32796,
    SwapOriginal = 32807,
    AddComment = 32822,
    ImageProperties = 32867,
    TwoImages = 32899,
    // Tool windows of filtering and detection
    Filters = 32868,
    LogGaussianFilters = 32869,
    SpotDetector = 32871,
    // Thresholding and seeds
    Thresholding = 32890,
    SegmentFromSeeds = 32898,
    SeedsWthLocalStatistics = 32870,
    SeedsFromCentroids = 33015,
    // Clusters and detection evaluation
    MakeClusters = 32954,
    ClusterAreas = 32892,
    MClusterAreas = 33082,
    EvaluateClusterResults = 33079,
    RemoveBadRegions = 33081,
    ClusterParams = 33084,       // "Making Cluster &Params..."
    ProcessDetection = 33085,    // "&Process Detection"
    McClusterDetection = 33086,  // the "Microcalcification Clusters Detection" tool
    // Morphology
    Erosion = 32826,  // Erosion .. OuterGradient: the nine operators in menu order
    Dilation = 32827,
    MorphOpen = 32828,
    MorphClose = 32829,
    WhiteTopHat = 32830,
    BlackTopHat = 32831,
    MorphGradient = 32832,
    InnerGradient = 32833,
    OuterGradient = 32834,
    StructuringElement = 32835,
    ConditionalThickening = 32836,
    // Breast outline
    OpenSgt = 32776,
    SaveSgt = 32777,
    SetZeroOutsideBreast = 33018,
    SegmentBreast = 33019,
    EnableBreastSegment = 33020,
    // Annotations
    OpenOverlay = 32779,
    SaveOverlay = 32780,
    ShowRos = 32844,
    ShowRegions = 32845,
    UserDiagnoses = 32846,
    RemoveAllRegions = 32848,
    ExtractRegions = 32850,
    SetAllBenign = 32857,
    SetAllMalignant = 32858,
    SetAllFalse = 32859,
    NnDiagnoses = 32847,
    RegionBenign = 32879,
    RegionMalignant = 32880,
    RegionFalse = 32881,
    RemoveRegion = 32882,
    RemoveRos = 32884,
    RemoveAllRos = 32885,
    RemoveRegionsInsideRoi = 32947,
    ClusterBenign = 32939,
    ClusterMalignant = 32940,
    ClusterFalse = 32941,
    RemoveCluster = 32942,
    RemoveClusterAndInside = 32943,
    RoiRegionsBenign = 32944,
    RoiRegionsMalignant = 32945,
    RoiRegionsFalse = 32946,
    RosBenign = 32948,
    RosMalignant = 32949,
    RosFalse = 32950,
    GrowSelectedContour = 32973,
    SmoothSelectedContour = 32974,
    GrowAllContours = 32975,
    SmoothAllContours = 32976,
    GrowClusterContours = 32992,
    SmoothClusterContours = 32993,
    // Region and cluster features, texture, feature files
    ShowFeatures = 32878,  // "Show &Features" / "Show &Cluster Region Features"
    MeanRegionFeatures = 32979,
    MeanFeaturesInCluster = 32985,
    FeaturesOfRegionsAsCluster = 33004,
    LearningMeanFeatures = 33001,  // "Add Learning Patterns": mean features of all regions
    LearningClusterFeatures = 33002,
    LearningRegionFeatures = 33003,  // each region's features
    SaveClusterAndRegionFeatures = 33075,
    SaveRegionFeatures = 33077,
    BinaryImagesOfShapes = 33052,
    CoocurrenceParams = 33056,  // "Cooccurence &Matrix Params..."
    FeatureSelection = 33057,
    NeuralNetwork = 33005,  // "&Neural network...", the network training tool
    // Window/level presets
    GetCurrentPreset = 33028,
    PresetFirst = 48000,  // preset i has PresetFirst + i
    PresetLast = 48100,
    // Cases
    CurrentCaseCc = 33030,
    CurrentCaseMlo = 33031,
    CloseCurrentCase = 33032,
    NextCase = 33033,
    PreviousCase = 33034,
    CaseFirst = 50000,  // entry i of the "&Cases" menu has CaseFirst + i
    CaseLast = 50100,
    // Image plug-ins
    PlugInFirst = 49000,
    PlugInLast = 49100,
    // MDI window menu
    WindowNew = 57648,
    WindowCascade = 57650,
    WindowTile = 57651,
    WindowSplit = 57653,
};

inline constexpr int kRecentFileCount = 6;

}  // namespace vistrel
