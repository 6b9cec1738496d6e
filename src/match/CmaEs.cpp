#include "match/CmaEs.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace zw {

TCmaEs::TCmaEs(int dimensions, uint64_t seed, double sigma, double tolerance, int population)
    : FN(std::max(1, dimensions)), FSigma0(sigma), FTolerance(tolerance), FRandom(seed)
{
    FLambda = population > 0 ? std::max(2, population) : DefaultPopulation(FN);
    FGlobalLambda = FLambda;
    Start(nullptr, FSigma0);
}

void TCmaEs::RestartAt(const Eigen::VectorXd& mean, double sigma, int population)
{
    FLocal = true;
    FLambda = std::max(2, population);
    Start(&mean, sigma);
}

int TCmaEs::DefaultPopulation(int dimensions) { return 4 + static_cast<int>(3 * std::log(std::max(1, dimensions))); }

void TCmaEs::Start(const Eigen::VectorXd* mean, double sigma)
{
    const double n = FN;
    FMu = FLambda / 2;
    FWeights.resize(FMu);
    for (int i = 0; i < FMu; ++i)
        FWeights[i] = std::log(FMu + 0.5) - std::log(i + 1.0);
    FWeights /= FWeights.sum();
    FMuEff = 1.0 / FWeights.squaredNorm();
    FCc = (4 + FMuEff / n) / (n + 4 + 2 * FMuEff / n);
    FCs = (FMuEff + 2) / (n + FMuEff + 5);
    FC1 = 2 / ((n + 1.3) * (n + 1.3) + FMuEff);
    FCmu = std::min(1 - FC1, 2 * (FMuEff - 2 + 1 / FMuEff) / ((n + 2) * (n + 2) + FMuEff));
    FDamps = 1 + 2 * std::max(0.0, std::sqrt((FMuEff - 1) / (n + 1)) - 1) + FCs;
    FChiN = std::sqrt(n) * (1 - 1 / (4 * n) + 1 / (21 * n * n));
    // Each run starts somewhere new in the box.
    std::uniform_real_distribution<double> uniform(0.2, 0.8);
    FMean.resize(FN);
    for (int i = 0; i < FN; ++i)
        FMean[i] = uniform(FRandom);
    if (mean)
        FMean = mean->cwiseMax(0.0).cwiseMin(1.0);
    FPc = Eigen::VectorXd::Zero(FN);
    FPs = Eigen::VectorXd::Zero(FN);
    FC = Eigen::MatrixXd::Identity(FN, FN);
    FB = Eigen::MatrixXd::Identity(FN, FN);
    FD = Eigen::VectorXd::Ones(FN);
    FSigma = sigma;
    FGeneration = 0;
    FBestOfRun = std::numeric_limits<double>::infinity();
    FStale = 0;
}

const std::vector<Eigen::VectorXd>& TCmaEs::Ask()
{
    FRaw.resize(static_cast<size_t>(FLambda));
    FClipped.resize(static_cast<size_t>(FLambda));
    for (int k = 0; k < FLambda; ++k) {
        Eigen::VectorXd z(FN);
        for (int i = 0; i < FN; ++i)
            z[i] = FNormal(FRandom);
        FRaw[k] = FMean + FSigma * (FB * FD.asDiagonal() * z);
        FClipped[k] = FRaw[k].cwiseMax(0.0).cwiseMin(1.0);
    }
    return FClipped;
}

void TCmaEs::Tell(const std::vector<double>& scores)
{
    std::vector<double> penalized(scores);
    for (size_t k = 0; k < penalized.size() && k < FRaw.size(); ++k)
        penalized[k] += (FRaw[k] - FClipped[k]).squaredNorm();
    std::vector<int> order(static_cast<size_t>(FLambda));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return penalized[a] < penalized[b]; });

    const Eigen::VectorXd old = FMean;
    FMean.setZero();
    for (int i = 0; i < FMu; ++i)
        FMean += FWeights[i] * FRaw[order[i]];
    const Eigen::VectorXd step = (FMean - old) / FSigma;
    const Eigen::VectorXd whitened = FB * FD.cwiseInverse().asDiagonal() * FB.transpose() * step;
    FPs = (1 - FCs) * FPs + std::sqrt(FCs * (2 - FCs) * FMuEff) * whitened;
    ++FGeneration;
    const bool hsig = FPs.norm() / std::sqrt(1 - std::pow(1 - FCs, 2.0 * FGeneration)) / FChiN < 1.4 + 2 / (FN + 1.0);
    FPc = (1 - FCc) * FPc + (hsig ? std::sqrt(FCc * (2 - FCc) * FMuEff) : 0.0) * step;
    Eigen::MatrixXd rankMu = Eigen::MatrixXd::Zero(FN, FN);
    for (int i = 0; i < FMu; ++i) {
        const Eigen::VectorXd y = (FRaw[order[i]] - old) / FSigma;
        rankMu += FWeights[i] * y * y.transpose();
    }
    FC = (1 - FC1 - FCmu) * FC + FC1 * (FPc * FPc.transpose() + (hsig ? 0.0 : FCc * (2 - FCc)) * FC) + FCmu * rankMu;
    FSigma *= std::exp((FCs / FDamps) * (FPs.norm() / FChiN - 1));
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(FC);
    FB = eigen.eigenvectors();
    FD = eigen.eigenvalues().cwiseMax(1e-20).cwiseSqrt();

    // A run that has converged, stalled or degenerated gives way to a larger one.
    const double best = penalized[order[0]];
    if (!std::isfinite(FBestOfRun) || best < FBestOfRun - 1e-12 * std::fabs(FBestOfRun)) {
        FBestOfRun = best;
        FStale = 0;
    } else {
        ++FStale;
    }
    const double spread = FSigma * FD.maxCoeff();
    const bool done = spread < FTolerance || FStale > 10 + 30 * FN / FLambda || FD.maxCoeff() > 1e7 * FD.minCoeff() ||
                      !std::isfinite(FSigma) || FSigma > 1e3;
    if (done) {
        ++FRestarts;
        if (!FLocal)
            FGlobalLambda *= 2;
        FLocal = false;
        FLambda = FGlobalLambda;
        Start(nullptr, FSigma0);
    }
}

} // namespace zw
