#pragma once

#include <Eigen/Dense>

#include <cstdint>
#include <random>
#include <vector>

namespace zw {

// CMA-ES with restarts of a doubled population (IPOP), minimizing over the
// box [0, 1]^n: candidates are drawn by Ask, scored by the caller, and handed
// back by Tell in the same order. Samples outside the box are clipped for
// scoring and their distance to the box is added as a penalty. Between the
// restarts, the caller may start local runs of its own (RestartAt).
class TCmaEs {
public:
    // A run ends once its steps are below `tolerance`: a gene is a byte, so
    // finer steps than 1/255 find nothing new.
    // `population`: the first run's candidates a generation (0: the default).
    TCmaEs(int dimensions, uint64_t seed, double sigma = 0.3, double tolerance = 1e-3, int population = 0);

    // The population CMA-ES takes by default in this many dimensions.
    static int DefaultPopulation(int dimensions);

    // The next generation, each point inside [0, 1]^n.
    const std::vector<Eigen::VectorXd>& Ask();
    void Tell(const std::vector<double>& scores);

    // Starts a run around `mean` with the step `sigma` and `population`
    // candidates a generation, in place of the run under way. When it ends,
    // the next run takes the population the one before it would have had.
    void RestartAt(const Eigen::VectorXd& mean, double sigma, int population);

    // Runs ended by Tell (converged, stalled or degenerated).
    int Restarts() const { return FRestarts; }
    int Population() const { return FLambda; }

private:
    void Start(const Eigen::VectorXd* mean, double sigma);

    int FN;
    double FSigma0;
    double FTolerance;
    std::mt19937_64 FRandom;
    std::normal_distribution<double> FNormal;
    int FRestarts = 0;
    int FLambda = 0;
    int FGlobalLambda = 0; // the population of the next run from a random point
    bool FLocal = false;   // the run under way came from RestartAt
    int FMu = 0;
    Eigen::VectorXd FWeights;
    double FMuEff = 0, FCc = 0, FCs = 0, FC1 = 0, FCmu = 0, FDamps = 0, FChiN = 0;
    Eigen::VectorXd FMean, FPc, FPs;
    Eigen::MatrixXd FC, FB;
    Eigen::VectorXd FD;
    double FSigma = 0;
    long FGeneration = 0;
    double FBestOfRun = 0;
    int FStale = 0;
    std::vector<Eigen::VectorXd> FRaw, FClipped;
};

} // namespace zw
