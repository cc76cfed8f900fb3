// SPDX-License-Identifier: GPL-3.0-or-later
// Joins the page's modules into one, so that the browser fetches one file instead of a chain
// of imports, each a round trip on a slow network: every module once, after those it imports,
// without its import lines and its "export" words. They share one scope then, as their
// bindings did (a module's "let" that another reads stays live). What that cannot keep is
// refused: a name declared by two modules, an import renamed or of a name not exported, an
// export in another form.
//   node bundle.mjs ENTRY.mjs OUT.mjs
import { readFileSync, writeFileSync } from "node:fs";
import { basename, dirname, join } from "node:path";

const [entry, out] = process.argv.slice(2);
const importLine = /^import\s*\{([^}]*)\}\s*from\s*"\.\/([\w.-]+\.mjs)";[ \t]*\n/gm;
const declaration = /^(export\s+)?(?:async\s+)?(?:function\*?|const|let|var|class)\s+([\w$]+)/gm;

const modules = new Map(); // file name -> { text, exports }, in the order they are written
const declaredBy = new Map();
function fail(message) {
    console.error(`bundle.mjs: ${message}`);
    process.exit(1);
}

function add(file, chain = []) {
    const name = basename(file);
    if (modules.has(name)) return modules.get(name);
    if (chain.includes(name)) fail(`imports go round: ${[...chain, name].join(" -> ")}`);
    const source = readFileSync(file, "utf8");
    const imports = [...source.matchAll(importLine)].map((m) => ({ names: m[1].split(",").map((n) => n.trim()).filter(Boolean), from: m[2] }));
    for (const { names, from } of imports) {
        const target = add(join(dirname(file), from), [...chain, name]);
        for (const n of names) {
            if (!/^[\w$]+$/.test(n)) fail(`${name}: import "${n}" from ${from} is renamed`);
            if (!target.exports.has(n)) fail(`${name}: ${from} does not export ${n}`);
        }
    }
    let text = source.replace(importLine, "");
    if (/^\s*(import|export)\b(?!\s+(?:async\s+)?(?:function|const|let|var|class)\b)/m.test(text))
        fail(`${name}: an import or export of another form`);
    const exports = new Set();
    for (const [, exported, declared] of text.matchAll(declaration)) {
        if (declaredBy.has(declared)) fail(`${declared} is declared by ${declaredBy.get(declared)} and ${name}`);
        declaredBy.set(declared, name);
        if (exported) exports.add(declared);
    }
    text = text.replace(/^export\s+/gm, "");
    const module = { text, exports };
    modules.set(name, module);
    return module;
}

add(entry);
const parts = [...modules].map(([name, { text }]) => `// ---- ${name}\n${text.trimEnd()}\n`);
writeFileSync(out, `// The page's modules in one (web/bundle.mjs joined them; their sources are in web/).\n${parts.join("\n")}`);
