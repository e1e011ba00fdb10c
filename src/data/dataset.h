// The community data set of a session: program-wide state that the loader of
// the formatted data file allocates and fills, every analysis reads (and may
// alter in memory), and FreeGlobals2 releases.
//
// Matrices are row-pointer matrices (QELib/qelibDim.h).  Labels are tables
// of character buffers: 11 characters for labels of at most 10, 5 for group
// labels of at most 4, 21 for partition names.  -999 marks a missing value.
#pragma once

constexpr int kLabelSize = 11;       // trait, community, variable labels
constexpr int kGroupLabelSize = 5;   // group labels
constexpr int kPartLabelSize = 21;   // partition names
constexpr int kSpeciesSize = 71;     // species names (at most 70 characters)
constexpr int kMaxPartitions = 10;   // partitions kept of each kind

// ---- counts ----
extern int tcst;     // OTUs (rows of B and W)
extern int nch;      // traits (columns of B)
extern int ncsm;     // communities (columns of W, rows of E)
extern int nenv;     // environmental variables (0 = no E)
extern int nSpp;     // distinct species (0 = no species names)
extern int nClados;  // clade columns of a phylogenetic data matrix (type 2)

// ---- matrices ----
extern double** csm_Float;      // B: tcst x nch
extern double** cadat;          // W: tcst x ncsm
extern double** env;            // E: ncsm x nenv
extern double** phylogenyRese;  // F: tcst x tcst
extern double** phylogenyData;  // tcst x nClados (phylogeny type 2)

// ---- traits ----
extern char** chLabel;     // nch labels
extern int* chtype;        // 1 dichotomous, 2 nominal, 3 interval/ratio, 4 ordinal
extern int* onsta;         // number of states of each trait
extern double* chrange;    // range of each interval trait
extern int* traitGroups;   // group of each trait when hasTraitGroups
extern int hasTraitGroups;

// ---- communities ----
extern char** reLabel;     // ncsm labels
extern int* ncst;          // OTUs present in each community
extern int emptyReleves;   // communities with no OTU present

// ---- environment (nenv > 0) ----
extern char** envLabel;
extern int* envVarType;    // 1 binary, 2 nominal, 3 quantitative, 4 ordinal
extern int optEnvVarType;  // 1..5, kind of the whole set
extern int temEnvBin, temEnvQual, temEnvQuant;
extern char envName[320];

// ---- phylogeny ----
extern int hasPhylogeny;
extern int phylogenyMatrixType;  // 1 similarities, 3 distances in [0,1], 2 clades
extern int* phylogenyVarType;    // nClados

// ---- species (nSpp > 0) ----
extern char** spp;          // nSpp names
extern char whichSpp[64];
extern char** sppRelMap;    // nSpp x ncsm, '1' species occurs in community
extern char** cstSppMap;    // tcst x nSpp, '1' OTU belongs to species

// ---- header ----
extern char dataName[320];
extern char whichFormda[64];
extern double ca_code[7];
extern int SMWSize;

// ---- partitions ----
extern int nPart;
extern char** partLabel;    // kMaxPartitions x kPartLabelSize
extern int* nGroupsP;       // kMaxPartitions
extern int** groupRelP;     // kMaxPartitions x ncsm
extern char*** grLabelP;    // kMaxPartitions x ncsm x kGroupLabelSize
extern int whichPart;
extern int nGroups;
extern char** grLabel;
extern int* groupRel;
extern int nPartCst;
extern char** partCstLabel;      // kMaxPartitions x kPartLabelSize
extern int* nGroupsCstP;         // kMaxPartitions
extern int** groupCstP;          // kMaxPartitions x tcst
extern char*** grCstLabelP;      // kMaxPartitions x tcst x kGroupLabelSize
extern int* whichLevelGrCstP;    // kMaxPartitions
extern int whichCstPart;
extern int nCstGroups;
extern char** grCstLabel;
extern int* groupCst;
extern int whichLevelGrCST;
extern int* partition_OTUs;      // tcst

// ---- working arrays allocated with the data set ----
extern int* nchor;        // nch
extern double* weight;    // nch
extern int* weight_OTUs;  // tcst
extern int* rcst;         // nch
extern int* nGrPoly;      // nch
extern int** cstTrack;    // nch x tcst
extern int* relSelect;    // ncsm
extern int* eVarSelect;   // nenv

// Releases the data set (environmental arrays only when nenv > 0, species
// arrays only when nSpp > 0) and leaves every pointer null.
void FreeGlobals2();

// The working arrays and partition tables of the analyses for the current
// tcst, nch and ncsm, zero (the loader of the formatted data file and
// NewDataSet allocate them).
void AllocWorkingArrays();
// A data set of the given sizes built in memory (the simulation, the
// benchmarks): every array of the data set allocated, B, W and E zero,
// labels "1", "2", ..., quantitative traits and variables (E in different
// units) of weight 1, every OTU and community selected, each OTU its own
// type; no species, phylogeny or trait groups.  The caller releases it with
// FreeGlobals2.
void NewDataSet(int otus, int traits, int communities, int variables);
