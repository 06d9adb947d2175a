// A library that nothing should load: it stands for a DLL planted beside the
// Updater by someone who may write the product's directory.
extern "C" int updPlanted() { return 42; }
