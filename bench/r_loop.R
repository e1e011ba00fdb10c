# Reference loop for bench/large_run: what one permutation of the taxa
# shuffle costs when written directly with dense matrix products.  Run in a
# directory made by bench/make_large.py:  Rscript r_loop.R PERMUTATIONS
# Per permutation: T = W B, U from the Gower similarity, X = W U, Euclidean
# distances between communities and their correlations with E's (with a
# phylogeny also P = W Q and its correlations).  No Rao entropy.
args <- commandArgs(trailingOnly = TRUE)
perms <- if (length(args) > 0) as.integer(args[1]) else 99L
set.seed(12345)

read_lab <- function(file) {
  lines <- readLines(file)
  body <- lines[-length(lines)]
  as.matrix(do.call(rbind, lapply(strsplit(body, "\t"), as.numeric)))
}
B <- read_lab("traits.txt")          # OTUs x traits
W <- t(read_lab("perf.txt"))         # communities x OTUs
E <- read_lab("env.txt")
phyl <- file.exists("phylo.txt")
n <- nrow(B); m <- nrow(W)
W <- W / pmax(rowSums(W), 1e-300)

# Gower similarity: range-scaled quantitative and ordinal traits, matching
# for binary and nominal ones.
types <- c(3, 3, 3, 3, 3, 3, 1, 1, 2, 4)
S <- matrix(0, n, n)
for (k in seq_len(ncol(B))) {
  x <- B[, k]
  if (types[k] == 4) x <- rank(x)
  if (types[k] %in% c(3, 4)) {
    r <- diff(range(x)); S <- S + (1 - abs(outer(x, x, "-")) / r)
  } else {
    S <- S + outer(x, x, "==")
  }
}
S <- S / ncol(B)
U <- S / rowSums(S)
if (phyl) {
  F <- as.matrix(read.table("phylo.txt"))
  F <- F / max(F)
  Q <- (1 - F) / rowSums(1 - F)
}
DE <- as.vector(dist(scale(E)))
stat <- function(idx) {
  Tm <- W %*% B[idx, ]
  Tm <- sweep(Tm, 2, sqrt(colSums(Tm^2)), "/")
  X <- W %*% U[idx, ]
  DT <- as.vector(dist(Tm)); DX <- as.vector(dist(X))
  r <- c(cor(DT, DE), cor(DX, DE), cor(DX, DT))
  if (phyl) {
    P <- W %*% Q[idx, ]
    DP <- as.vector(dist(P))
    r <- c(r, cor(DP, DE), cor(DP, DT), cor(DP, DX))
  }
  r
}
obs <- stat(seq_len(n))
count <- rep(1, length(obs))
for (it in seq_len(perms)) {
  v <- stat(sample.int(n))
  count <- count + (abs(v) >= abs(obs))
}
cat(sprintf("R loop: %d permutations, P = %s\n", perms,
            paste(format(count / (perms + 1), digits = 3), collapse = " ")))
